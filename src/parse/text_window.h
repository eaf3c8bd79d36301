// The buffer that lines are read into.
//
// Bytes in [begin, end) are read but not yet consumed: at most the start of
// one unfinished line once the complete lines are handled. Before the next
// read that rest moves to the front, so a line that spans two reads is
// joined in place without a per-line allocation; the buffer doubles only
// when a single line fills all of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace quiverlane {

class TextWindow {
 public:
  // Bytes past the end of the data that may always be read (they hold
  // older data or zeros), so that a parser can load a word at a time.
  static constexpr std::size_t kReadAhead = 16;

  explicit TextWindow(std::size_t capacity)
      : capacity_(capacity < 1 ? 1 : capacity),
        data_(std::make_unique<std::uint8_t[]>(capacity_ + kReadAhead)) {}

  const std::uint8_t* begin() const noexcept { return data_.get() + begin_; }
  const std::uint8_t* end() const noexcept { return data_.get() + end_; }
  void consume_to(const std::uint8_t* position) noexcept {
    begin_ = static_cast<std::size_t>(position - data_.get());
  }

  // Makes free space after end() and returns it; fill() then commits.
  std::uint8_t* make_room() {
    if (begin_ > 0) {
      std::memmove(data_.get(), data_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (end_ == capacity_) grow();
    return data_.get() + end_;
  }
  std::size_t room() const noexcept { return capacity_ - end_; }
  void fill(std::size_t count) noexcept { end_ += count; }

 private:
  void grow() {
    auto larger = std::make_unique<std::uint8_t[]>(2 * capacity_ + kReadAhead);
    std::memcpy(larger.get(), data_.get(), end_);
    data_ = std::move(larger);
    capacity_ *= 2;
  }

  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace quiverlane
