#pragma once
// The one place where libpng's error handling meets C++. libpng reports a fatal error by calling
// the error function, which must not return; ours copies the text and jumps back to
// RunPngTrapped. A longjmp skips destructors, so the steps run under the trap keep only
// trivially destructible things in their frames (the libpng structs, raw pointers, numbers);
// buffers and the bitmap belong to the caller, whose frame the jump never crosses.

#include <png.h>
#include <csetjmp>
#include <cstddef>
#include <cstdint>

struct PngTrap {
    std::jmp_buf jump;
    char message[200] = {};  // libpng's text of the fatal error
};

// The file's bytes as libpng reads them; running out is a fatal error ("file is truncated").
struct PngSource {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
};

// A read struct and its info struct whose errors land in the trap and whose warnings are
// dropped (a damaged ancillary chunk never stops a picture). Null members when libpng could not
// make them.
struct PngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngReadStructs(PngTrap& trap, PngSource& source);
    ~PngReadStructs();
    PngReadStructs(const PngReadStructs&) = delete;
    PngReadStructs& operator=(const PngReadStructs&) = delete;
};

using PngStep = void (*)(void* context);
// Runs the step with the trap armed: true when it finished, false after a libpng error (the
// text is in trap.message).
bool RunPngTrapped(PngTrap& trap, PngStep step, void* context);
