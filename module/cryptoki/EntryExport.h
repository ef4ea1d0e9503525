// Marks a C_ function as part of the module's public interface. The build
// hides everything else; the version script has the last word.
#pragma once

#define P11_EXPORT __attribute__((visibility("default")))
