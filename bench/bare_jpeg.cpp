#include "bare_jpeg.h"

#include "formats/sizing.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

QByteArray BareJpegThumbnail(const QByteArray& jpeg, int percent, int quality, bool streaming) {
    jpeg_decompress_struct d;
    jpeg_error_mgr derr;
    d.err = jpeg_std_error(&derr);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const int sw = int(d.output_width), sh = int(d.output_height);
    const int w = ScaledLength(sw, percent), h = ScaledLength(sh, percent);
    std::vector<int> xs(static_cast<size_t>(w)), ys(static_cast<size_t>(h));
    for (int i = 0; i < w; ++i) xs[size_t(i)] = int((2 * int64_t(i) + 1) * sw / (2 * int64_t(w)));
    for (int i = 0; i < h; ++i) ys[size_t(i)] = int((2 * int64_t(i) + 1) * sh / (2 * int64_t(h)));
    std::vector<unsigned char> small(size_t(w) * size_t(h) * 3);
    const auto sample = [&](const unsigned char* row, int next) {
        unsigned char* o = small.data() + size_t(next) * size_t(w) * 3;
        for (int x = 0; x < w; ++x, o += 3) {
            const unsigned char* s = row + size_t(xs[size_t(x)]) * 3;
            o[0] = s[0], o[1] = s[1], o[2] = s[2];
        }
    };
    if (streaming) {
        std::vector<unsigned char> row(size_t(sw) * 3);
        int next = 0;
        while (d.output_scanline < d.output_height) {
            const int y = int(d.output_scanline);
            JSAMPROW p = row.data();
            jpeg_read_scanlines(&d, &p, 1);
            for (; next < h && ys[size_t(next)] == y; ++next) sample(row.data(), next);
        }
    } else {
        std::vector<unsigned char> full(size_t(sw) * size_t(sh) * 3);
        while (d.output_scanline < d.output_height) {
            JSAMPROW p = full.data() + size_t(d.output_scanline) * size_t(sw) * 3;
            jpeg_read_scanlines(&d, &p, 1);
        }
        for (int next = 0; next < h; ++next)
            sample(full.data() + size_t(ys[size_t(next)]) * size_t(sw) * 3, next);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);

    jpeg_compress_struct c;
    jpeg_error_mgr cerr;
    c.err = jpeg_std_error(&cerr);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&c, &buffer, &length);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW p = small.data() + size_t(c.next_scanline) * size_t(w) * 3;
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray out(reinterpret_cast<const char*>(buffer), qsizetype(length));
    std::free(buffer);
    return out;
}
