// Turns fuzzer bytes into the texts the plug-in takes from outside (UTF-16 units).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // A text of up to `max` units; its length comes from the input.
    std::wstring Text(std::size_t max) {
        const std::size_t length = Byte() % (max + 1);
        std::wstring text;
        for (std::size_t i = 0; i < length && pos_ + 1 < size_; ++i, pos_ += 2)
            text += static_cast<wchar_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        return text;
    }
    std::wstring Rest() { return Text(size_); }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};
