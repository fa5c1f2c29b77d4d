#pragma once
// Growable arrays of UTF-16 units and of bytes that the text conversions
// append to. A buffer starts with room for 256 elements; an append that does
// not fit grows it to the larger of capacity * 3 / 2 and count + n.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace kestrune {

template <typename Element>
class GrowableBuffer {
 public:
  static constexpr uint32_t kInitialCapacity = 256;

  GrowableBuffer() : data_(new Element[kInitialCapacity]), capacity_(kInitialCapacity) {}

  void Append(const Element* elements, uint32_t n) {
    Reserve(n);
    for (uint32_t i = 0; i < n; ++i) data_[count_ + i] = elements[i];
    count_ += n;
  }
  void Append(Element element) { Append(&element, 1); }

  // Makes room for `n` more elements by the growth rule.
  void Reserve(uint32_t n) {
    if (n <= capacity_ - count_) return;
    uint64_t wanted = static_cast<uint64_t>(count_) + n;
    uint64_t grown = static_cast<uint64_t>(capacity_) * 3 / 2;
    uint64_t next = grown > wanted ? grown : wanted;
    if (next > UINT32_MAX) throw std::length_error("text buffer too large");
    std::unique_ptr<Element[]> block(new Element[next]);
    for (uint32_t i = 0; i < count_; ++i) block[i] = data_[i];
    data_ = std::move(block);
    capacity_ = static_cast<uint32_t>(next);
  }

  const Element* Data() const { return data_.get(); }
  uint32_t Capacity() const { return capacity_; }
  uint32_t Count() const { return count_; }

  // The content up to the first zero element: the zero terminator is
  // appended (growing by one when the buffer is full) and the text is copied
  // out as C strings are.
  std::basic_string<Element> TerminatedText() {
    Append(Element(0));
    --count_;
    return std::basic_string<Element>(data_.get());
  }

  // The whole content, zero elements included.
  std::basic_string<Element> Text() const {
    return std::basic_string<Element>(data_.get(), count_);
  }

 private:
  std::unique_ptr<Element[]> data_;
  uint32_t capacity_;
  uint32_t count_ = 0;
};

using WideBuffer = GrowableBuffer<char16_t>;
using ByteBuffer = GrowableBuffer<char>;

}  // namespace kestrune
