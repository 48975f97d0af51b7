// Splits a fuzzer's input into length-prefixed pieces without ever reading
// past its end, so one input can stage several registry values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // A piece of up to 2 * 255 + 255 bytes: two length bytes, then the bytes.
  std::vector<unsigned char> Piece() {
    const std::size_t want = std::size_t(Byte()) + Byte() + Byte();
    const std::size_t n = want < size_ - pos_ ? want : size_ - pos_;
    std::vector<unsigned char> piece(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return piece;
  }

  bool Empty() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};
