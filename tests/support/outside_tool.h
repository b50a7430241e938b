#pragma once
// The outside programs the reference tests compare against. A test that needs one skips where it
// is missing, except under CI (CI=true or 1), where a skipped comparison would pass for one that
// ran: there it fails. Either way the message names the program and the Debian package that
// brings it; scripts/setup installs them all. outside_tools.py does the same for the Python
// checks, outside_tool.cmake for the CMake ones.

#include "support/corpus.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <string>

struct OutsideTool {
    const char* name;      // as messages name it
    const char* package;   // the Debian package that brings it
    QStringList programs;  // the first of these that is installed is the tool
    QStringList probe;     // arguments it must run with successfully (Pillow: python3 imports PIL)
};

namespace tool {
extern const OutsideTool kPillow;       // /usr/bin/python3 with PIL
extern const OutsideTool kImageMagick;  // /usr/bin/convert, not a convert elsewhere on PATH
extern const OutsideTool kCjpeg, kDjpeg;
extern const OutsideTool kTiffinfo, kTiffcp, kTiffdump;
extern const OutsideTool kHeifConvert;  // libheif's converter to PNG
extern const OutsideTool kHeifEnc;      // libheif's encoder, from PNG
extern const OutsideTool kChromium;
extern const OutsideTool kUnshare;
}  // namespace tool

// The tool's program, empty when it is not installed or its probe fails. Found once per run.
QString toolPath(const OutsideTool& tool);
// Empty when every tool is there; otherwise what is missing and the packages that bring it.
std::string missingToolsText(
    std::initializer_list<std::reference_wrapper<const OutsideTool>> tools);

// In a test body: skips (fails under CI) unless every tool named is installed.
#define REQUIRE_TOOLS(...)                                                 \
    do {                                                                   \
        const std::string missingTools_ = missingToolsText({__VA_ARGS__}); \
        if (!missingTools_.empty()) SKIP_OR_FAIL_UNDER_CI(missingTools_);  \
    } while (0)
