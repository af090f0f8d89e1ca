// The host object model: the values that hosts and depman hand each other.
//
// Every host object is shared and reference counted (std::shared_ptr); an
// empty pointer is "none". depman never looks inside a value except to tell
// strings apart by their characters and to find a follow-up action.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace depman {

class Object;
class String;
class Dictionary;
class List;

using ObjectRef = std::shared_ptr<Object>;
using StringRef = std::shared_ptr<String>;
using DictionaryRef = std::shared_ptr<Dictionary>;
using ListRef = std::shared_ptr<List>;

// Root of every host object. Identity is the address; objects are not copied.
class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object();

  // Text form of the object; by default its demangled dynamic type name.
  virtual std::wstring ToString() const;
};

// An immutable wide string. Two strings are equal when their characters are.
class String final : public Object {
 public:
  explicit String(std::wstring value) : m_value(std::move(value)) {}

  // The characters of the string.
  const std::wstring& Value() const noexcept { return m_value; }
  // The characters of the string.
  std::wstring ToString() const override { return m_value; }

 private:
  std::wstring m_value;
};

// Decimal text of an arithmetic value; the shortest form that reads back exactly.
template <class T>
std::wstring DecimalText(T value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::wstring(buffer, ec == std::errc{} ? end : buffer);
}

// One value of type T: Box<int32_t> is the host integer, Box<double> a number.
template <class T>
class Box final : public Object {
 public:
  explicit Box(T value) : m_value(std::move(value)) {}

  // The boxed value.
  const T& Value() const noexcept { return m_value; }

  // The value in decimal; for an enumeration, the text its BoxText overload gives.
  std::wstring ToString() const override {
    if constexpr (std::is_same_v<T, bool>) {
      return m_value ? L"true" : L"false";
    } else if constexpr (std::is_arithmetic_v<T>) {
      return DecimalText(m_value);
    } else {
      return BoxText(m_value);  // found by argument-dependent lookup
    }
  }

 private:
  T m_value;
};

namespace detail {
// Hashing and equality that accept std::wstring_view, so that dictionary
// lookups by view build no string.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::wstring_view s) const noexcept {
    return std::hash<std::wstring_view>{}(s);
  }
};
struct NameEqual {
  using is_transparent = void;
  bool operator()(std::wstring_view a, std::wstring_view b) const noexcept { return a == b; }
};
}  // namespace detail

// A map from name to host object: the result dictionary of an action.
class Dictionary final : public Object {
 public:
  using value_type = std::pair<const std::wstring, ObjectRef>;
  using const_iterator = const value_type*;

  // An empty dictionary with room for `capacity` entries.
  explicit Dictionary(std::size_t capacity = 0);
  ~Dictionary() override;

  // Whether the dictionary has an entry under `name`.
  bool Contains(std::wstring_view name) const { return FindEntry(name) != nullptr; }
  // Adds an entry; throws std::invalid_argument when `name` is present already.
  void Add(std::wstring_view name, ObjectRef value);
  // The value under `name`, or none when there is no entry.
  ObjectRef Get(std::wstring_view name) const;
  // The value under `name` as stored, without taking a share of it; none
  // when there is no entry. Valid until the dictionary changes.
  const ObjectRef* Find(std::wstring_view name) const;
  // Adds an entry or replaces the value of an existing one.
  void Set(std::wstring_view name, ObjectRef value);
  // Removes every entry.
  void Clear() noexcept;
  // The number of entries.
  std::size_t Count() const noexcept { return m_size; }

  // Iteration over the entries (in the order they were added).
  const_iterator begin() const noexcept { return m_data; }
  const_iterator end() const noexcept { return m_data + m_size; }

 private:
  // Most dictionaries hold a handful of entries, found fastest by comparing
  // keys; from this many on, an index by name finds them.
  static constexpr std::size_t kIndexFrom = 8;

  const value_type* FindEntry(std::wstring_view name) const;
  void Append(std::wstring_view name, ObjectRef value);
  // Moves the entries to a heap block with room for `capacity`.
  void Grow(std::size_t capacity);
  void Reindex();
  value_type* InlineSlot() noexcept;

  // The entries: in m_inline while one fits, else on the heap. Most results
  // hold a single entry, which so costs no allocation of its own.
  value_type* m_data;
  std::uint32_t m_size = 0;
  std::uint32_t m_capacity = 1;
  alignas(value_type) unsigned char m_inline[sizeof(value_type)];
  // Views of the keys in m_data, rebuilt whenever the entries move.
  std::unique_ptr<std::unordered_map<std::wstring_view, std::size_t>> m_index;
};

// An ordered collection of host objects.
class List final : public Object {
 public:
  using const_iterator = std::vector<ObjectRef>::const_iterator;

  // An empty list with room for `capacity` elements.
  explicit List(std::size_t capacity = 0) { m_items.reserve(capacity); }

  // A list of String objects, as an action's GetDefs usually returns.
  static ListRef Names(std::initializer_list<std::wstring_view> names);

  // Appends an element (which may be none).
  void Append(ObjectRef item) { m_items.push_back(std::move(item)); }
  // The number of elements.
  std::size_t Count() const noexcept { return m_items.size(); }
  // The element at `index`; `index` must be less than Count().
  const ObjectRef& operator[](std::size_t index) const noexcept { return m_items[index]; }

  // Iteration in order.
  const_iterator begin() const noexcept { return m_items.begin(); }
  const_iterator end() const noexcept { return m_items.end(); }

 private:
  std::vector<ObjectRef> m_items;
};

namespace Engine {

// The host's two-argument function object.
class Function : public Object {
 public:
  // Calls the function with two host objects.
  virtual ObjectRef Invoke2(ObjectRef first, ObjectRef second) = 0;
};

using FunctionRef = std::shared_ptr<Function>;

// A Function made from any callable taking two host objects and returning an
// ObjectRef (or nothing).
template <class F>
class CallableFunction final : public Function {
 public:
  explicit CallableFunction(F f) : m_f(std::move(f)) {}

  ObjectRef Invoke2(ObjectRef first, ObjectRef second) override {
    if constexpr (std::is_void_v<std::invoke_result_t<F&, ObjectRef, ObjectRef>>) {
      m_f(std::move(first), std::move(second));
      return nullptr;
    } else {
      return m_f(std::move(first), std::move(second));
    }
  }

 private:
  F m_f;
};

// Wraps a callable as a shared Function.
template <class F>
FunctionRef MakeFunction(F f) {
  return std::make_shared<CallableFunction<F>>(std::move(f));
}

}  // namespace Engine

// UTF-8 encoding of a wide string; malformed input (a lone surrogate) becomes U+FFFD.
std::string ToStrng(std::wstring_view text);
// Wide string decoded from UTF-8 bytes; malformed sequences become U+FFFD.
std::wstring ToString(std::string_view utf8);

}  // namespace depman
