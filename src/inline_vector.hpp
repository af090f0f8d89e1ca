// A vector of plain values that keeps its first N elements inside itself.
// The registry's per-name and per-node lists hold one element in nearly
// every document, so this saves a heap block for each of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace depman {

template <class T, std::size_t N>
class InlineVector {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "elements are moved with memcpy");
  static_assert(N > 0);

 public:
  InlineVector() noexcept {}  // the union is filled as elements arrive
  InlineVector(const InlineVector&) = delete;
  InlineVector& operator=(const InlineVector&) = delete;
  ~InlineVector() {
    if (on_heap()) std::allocator<T>().deallocate(m_heap, m_capacity);
  }

  T* begin() noexcept { return data(); }
  T* end() noexcept { return data() + m_size; }
  const T* begin() const noexcept { return data(); }
  const T* end() const noexcept { return data() + m_size; }
  std::size_t size() const noexcept { return m_size; }
  bool empty() const noexcept { return m_size == 0; }
  T& operator[](std::size_t i) noexcept { return data()[i]; }
  const T& operator[](std::size_t i) const noexcept { return data()[i]; }

  // Inserts `value` before `pos`; returns where it now is.
  T* insert(const T* pos, const T& value) {
    const std::size_t index = static_cast<std::size_t>(pos - begin());
    if (m_size == m_capacity) grow();
    T* d = data();
    std::memmove(d + index + 1, d + index, (m_size - index) * sizeof(T));
    d[index] = value;
    ++m_size;
    return d + index;
  }
  void push_back(const T& value) { insert(end(), value); }
  // Removes the element at `pos`; returns the position of the one after it.
  T* erase(T* pos) noexcept {
    std::memmove(pos, pos + 1, static_cast<std::size_t>(end() - pos - 1) * sizeof(T));
    --m_size;
    return pos;
  }
  // Removes every element and keeps the capacity.
  void clear() noexcept { m_size = 0; }

 private:
  bool on_heap() const noexcept { return m_capacity > N; }
  T* data() noexcept { return on_heap() ? m_heap : m_inline; }
  const T* data() const noexcept { return on_heap() ? m_heap : m_inline; }

  void grow() {
    const std::uint32_t capacity = m_capacity * 2;
    T* heap = std::allocator<T>().allocate(capacity);
    std::memcpy(heap, data(), m_size * sizeof(T));
    if (on_heap()) std::allocator<T>().deallocate(m_heap, m_capacity);
    m_heap = heap;
    m_capacity = capacity;
  }

  union {
    T* m_heap;
    T m_inline[N];
  };
  std::uint32_t m_size = 0;
  std::uint32_t m_capacity = N;
};

}  // namespace depman
