#include "formats/png/png_shim.h"

#include <cstring>

namespace {

extern "C" void trapError(png_structp png, png_const_charp message) {
    PngTrap* trap = static_cast<PngTrap*>(png_get_error_ptr(png));
    std::strncpy(trap->message, message ? message : "unknown error", sizeof trap->message - 1);
    trap->message[sizeof trap->message - 1] = '\0';
    std::longjmp(trap->jump, 1);
}

extern "C" void dropWarning(png_structp, png_const_charp) {}

extern "C" void readFromSource(png_structp png, png_bytep out, size_t count) {
    PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
    // Subtract, never add: a huge count cannot wrap.
    if (count > source->size - source->position) png_error(png, "file is truncated");
    std::memcpy(out, source->data + source->position, count);
    source->position += count;
}

}  // namespace

PngReadStructs::PngReadStructs(PngTrap& trap, PngSource& source) {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &trap, trapError, dropWarning);
    if (!png) return;
    info = png_create_info_struct(png);
    png_set_read_fn(png, &source, readFromSource);
}

PngReadStructs::~PngReadStructs() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
}

bool RunPngTrapped(PngTrap& trap, PngStep step, void* context) {
    if (setjmp(trap.jump)) return false;
    step(context);
    return true;
}
