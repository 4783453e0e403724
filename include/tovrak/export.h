// What the shared library exports: the API's classes and functions, nothing else.
#pragma once

#if defined(__GNUC__)
#define TOVRAK_API __attribute__((visibility("default")))
#else
#define TOVRAK_API
#endif
