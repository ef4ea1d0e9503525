// Replaced by the function list.
extern "C" __attribute__((visibility("default"))) int C_Placeholder(void) { return 0; }
