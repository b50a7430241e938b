#pragma once
// The one place where libjpeg's error handling meets C++. libjpeg reports a fatal error by
// calling error_exit, which must never return; ours jumps back to RunTrapped. A longjmp skips
// destructors, so the steps run under the trap keep only trivially destructible things in their
// frames; objects with destructors belong to the caller, whose frame the jump never crosses.

#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <csetjmp>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

struct JpegTrap {
    jpeg_error_mgr pub;  // first, so libjpeg's pointer to it is a pointer to the trap
    std::jmp_buf jump;
    int code = 0;      // libjpeg's message number of the fatal error
    int warnings = 0;  // counted, never printed: the program ignores them
};

// Prepares the trap's error manager and returns it for cinfo.err.
jpeg_error_mgr* InitJpegTrap(JpegTrap& trap);

using JpegStep = void (*)(void* context);
// Runs the step with the trap armed: 0 when it finished, else libjpeg's message number.
int RunTrapped(JpegTrap& trap, JpegStep step, void* context);
