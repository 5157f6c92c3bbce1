// The rovurer library: open a digit file, then read, find, count and
// compare its digits at any position, in base 2, 10 or 16, or write them as
// text (text.h); report on a file (info.h); or make one from text digits
// (pack.h).
//
//   rovurer::result<rovurer::file> pi = rovurer::file::open("examples/pi_base10");
//   if (!pi) { std::cerr << pi.error().message << '\n'; return 1; }
//   rovurer::result<rovurer::found> at = rovurer::find(*pi, "999999", {10, 1, 1000000}, 1);
//
// Link rovurer::rovurer (CMake) or `pkg-config --libs rovurer`.
#pragma once

#include "rovurer/check.h"
#include "rovurer/file.h"
#include "rovurer/format.h"
#include "rovurer/info.h"
#include "rovurer/messages.h"
#include "rovurer/numbers.h"
#include "rovurer/pack.h"
#include "rovurer/result.h"
#include "rovurer/scan.h"
#include "rovurer/stats.h"
#include "rovurer/text.h"
#include "rovurer/version.h"
