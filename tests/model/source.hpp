// Where a randomized run takes its choices from: a seeded generator for the
// randomized tests and the soak run, or the fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

namespace depman::model {

class Source {
 public:
  virtual ~Source() = default;
  // A number in [0, n); n must be at least 1.
  virtual uint32_t below(uint32_t n) = 0;
  // Whether there is anything left to choose from.
  virtual bool exhausted() const = 0;

  // True with the given probability, in percent.
  bool chance(uint32_t percent) { return below(100) < percent; }
};

class RandomSource final : public Source {
 public:
  explicit RandomSource(uint64_t seed) : m_rng(seed) {}
  uint32_t below(uint32_t n) override {
    return static_cast<uint32_t>(std::uniform_int_distribution<uint32_t>(0, n - 1)(m_rng));
  }
  bool exhausted() const override { return false; }

 private:
  std::mt19937_64 m_rng;
};

// Reads one byte per choice (two when n needs them); zero once the bytes are
// used up, so that any input decodes to a finite run.
class ByteSource final : public Source {
 public:
  ByteSource(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  uint32_t below(uint32_t n) override {
    uint32_t value = next();
    if (n > 256) value = (value << 8) | next();
    return value % n;
  }
  bool exhausted() const override { return m_pos >= m_size; }

 private:
  uint32_t next() { return m_pos < m_size ? m_data[m_pos++] : 0; }

  const uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

}  // namespace depman::model
