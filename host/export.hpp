// Marks a function the module exports to its host or to other modules.
#pragma once

#if defined(_WIN32)
#define SPARDYN_EXPORT __declspec(dllexport)
#else
#define SPARDYN_EXPORT __attribute__((visibility("default")))
#endif
