#pragma once
// Bounds-checked little/big-endian reader over borrowed bytes. Running out sets failed() and
// yields zeros; callers check failed() once per block instead of after every read.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t size() const { return size_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool failed() const { return failed_; }
    bool atEnd() const { return pos_ >= size_; }
    const uint8_t* data() const { return data_; }
    const uint8_t* current() const { return data_ + pos_; }

    // Moves to an absolute offset; beyond the end fails and leaves the reader at the end.
    bool seek(size_t offset) {
        if (offset > size_) {
            failed_ = true;
            pos_ = size_;
            return false;
        }
        pos_ = offset;
        return true;
    }
    bool skip(size_t count) {
        if (count > remaining()) {
            failed_ = true;
            pos_ = size_;
            return false;
        }
        pos_ += count;
        return true;
    }
    // True when [offset, offset + count) lies inside the data; subtracts so nothing wraps.
    bool has(size_t offset, size_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }

    uint8_t readU8() {
        if (pos_ >= size_) {
            failed_ = true;
            return 0;
        }
        return data_[pos_++];
    }
    uint16_t readU16le() {
        uint8_t b[2];
        if (!take(b, 2)) return 0;
        return uint16_t(b[0] | (b[1] << 8));
    }
    uint16_t readU16be() {
        uint8_t b[2];
        if (!take(b, 2)) return 0;
        return uint16_t((b[0] << 8) | b[1]);
    }
    uint32_t readU32le() {
        uint8_t b[4];
        if (!take(b, 4)) return 0;
        return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
               (uint32_t(b[3]) << 24);
    }
    uint32_t readU32be() {
        uint8_t b[4];
        if (!take(b, 4)) return 0;
        return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) |
               uint32_t(b[3]);
    }
    // Copies count bytes; a short read copies nothing and fails.
    bool readBytes(void* out, size_t count) { return take(static_cast<uint8_t*>(out), count); }

    // A reader over the next count bytes (cut to what remains, failing if short); advances.
    ByteReader sub(size_t count) {
        if (count > remaining()) {
            failed_ = true;
            count = remaining();
        }
        ByteReader r(data_ + pos_, count);
        pos_ += count;
        return r;
    }

private:
    bool take(uint8_t* out, size_t count) {
        if (count > remaining()) {
            failed_ = true;
            pos_ = size_;
            return false;
        }
        if (count) std::memcpy(out, data_ + pos_, count);
        pos_ += count;
        return true;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool failed_ = false;
};
