// Reads a fuzz input from the front, a byte at a time; an input that runs out reads as zeros, so
// every input, however short, decodes to some case.
#ifndef ZUN_FUZZ_BYTE_READER_H
#define ZUN_FUZZ_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }
    // One of `count` choices (count > 0).
    size_t Choice(size_t count) { return Byte() % count; }
    // `length` bytes as they stand (zeros past the end).
    std::string Bytes(size_t length) {
        std::string out;
        for (size_t i = 0; i < length; ++i) out += static_cast<char>(Byte());
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

#endif
