// What the shared library exports: the API of include/rovurer/, each call
// and class marked ROVURER_API; everything else in it is hidden.
#pragma once

#if defined(_WIN32)
#define ROVURER_API
#else
#define ROVURER_API __attribute__((visibility("default")))
#endif
