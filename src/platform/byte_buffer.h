#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace postrider {

// Bytes built up in place and kept from one use to the next. Unlike a
// std::string it hands out room without clearing it first, so a message's
// text or a journal record is written straight into what goes out.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t capacity)
      : data_(new char[capacity]), capacity_(capacity) {}

  std::string_view view() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

  // At least `room` writable bytes after the content; Commit says how many
  // of them were written.
  char* Room(std::size_t room) {
    if (capacity_ - size_ < room) Reallocate(size_ + room);
    return data_.get() + size_;
  }
  void Commit(std::size_t written) { size_ += written; }

  ByteBuffer& append(std::string_view bytes) {
    if (!bytes.empty()) {
      std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
      size_ += bytes.size();
    }
    return *this;
  }

 private:
  void Reallocate(std::size_t needed) {
    const std::size_t capacity = needed > 2 * capacity_ ? needed : 2 * capacity_;
    std::unique_ptr<char[]> data(new char[capacity]);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

}  // namespace postrider
