// Runs every benchmark, then prints one line per operation: the CPU time
// through Cipher, the time of the same work done directly with OpenSSL from
// the same inputs ("OpenSSL/<op>": the key from its stored form on every
// call, as Cipher has it), the time with a key OpenSSL already holds
// ("OpenSSL-held/<op>"), and Cipher's ratio to each. CPU time, because the
// machine may be shared.
#include <cstdio>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            const double dNanoseconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            const std::string strName = run.benchmark_name();
            const size_t nSlash = strName.find('/');
            if (nSlash == std::string::npos) {
                continue;
            }
            Times& times = m_mapTimes[strName.substr(nSlash + 1)];
            const std::string strSide = strName.substr(0, nSlash);
            if (strSide == "Cipher") {
                times.dCipher = dNanoseconds;
            } else if (strSide == "OpenSSL") {
                times.dOpenSsl = dNanoseconds;
            } else if (strSide == "OpenSSL-held") {
                times.dOpenSslHeld = dNanoseconds;
            }
        }
    }

    void PrintRatios() const
    {
        printf("\nCPU time per operation in microseconds\n");
        printf("%-32s %10s %10s %7s %13s %7s\n", "operation", "Cipher", "OpenSSL", "ratio", "OpenSSL-held",
               "ratio");
        for (const auto& [strOp, times] : m_mapTimes) {
            if (times.dCipher > 0 && times.dOpenSsl > 0 && times.dOpenSslHeld > 0) {
                printf("%-32s %10.1f %10.1f %7.2f %13.1f %7.2f\n", strOp.c_str(), times.dCipher / 1e3,
                       times.dOpenSsl / 1e3, times.dCipher / times.dOpenSsl, times.dOpenSslHeld / 1e3,
                       times.dCipher / times.dOpenSslHeld);
            }
        }
    }

private:
    struct Times {
        double dCipher = 0;
        double dOpenSsl = 0;
        double dOpenSslHeld = 0;
    };
    std::map<std::string, Times> m_mapTimes;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
