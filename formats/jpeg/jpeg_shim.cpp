#include "formats/jpeg/jpeg_shim.h"

namespace {

extern "C" void trapErrorExit(j_common_ptr cinfo) {
    JpegTrap* trap = reinterpret_cast<JpegTrap*>(cinfo->err);
    trap->code = trap->pub.msg_code;
    std::longjmp(trap->jump, 1);
}

extern "C" void trapEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) ++reinterpret_cast<JpegTrap*>(cinfo->err)->warnings;
}

extern "C" void trapOutputMessage(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* InitJpegTrap(JpegTrap& trap) {
    jpeg_std_error(&trap.pub);
    trap.pub.error_exit = trapErrorExit;
    trap.pub.emit_message = trapEmitMessage;
    trap.pub.output_message = trapOutputMessage;
    trap.code = 0;
    trap.warnings = 0;
    return &trap.pub;
}

int RunTrapped(JpegTrap& trap, JpegStep step, void* context) {
    if (setjmp(trap.jump)) {
        // A message number of 0 would read as success; libjpeg never uses it for errors.
        return trap.code > 0 ? trap.code : -1;
    }
    step(context);
    return 0;
}
