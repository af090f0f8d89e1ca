#include "cells.hpp"

#include <cmath>
#include <memory>
#include <numeric>
#include <stdexcept>

namespace bench {
namespace {

ComputeCounts g_counts{};

constexpr double kLadderModulus = 1000003;

const depman::Object& Require(const depman::ObjectRef& value, const std::wstring& name) {
  if (value == nullptr) {
    throw std::runtime_error("benchmark document: nothing defines " + depman::ToStrng(name));
  }
  return *value;
}

// The documents are built so that every input holds the type its formula reads.
double NumberOf(InputReader& reader, const std::wstring& name) {
  const depman::ObjectRef value = reader.Read(name);
  return static_cast<const depman::Box<double>&>(Require(value, name)).Value();
}

const std::wstring& TextOf(InputReader& reader, const std::wstring& name, depman::ObjectRef& hold) {
  hold = reader.Read(name);
  return static_cast<const depman::String&>(Require(hold, name)).Value();
}

depman::ObjectRef Number(double value) { return std::make_shared<depman::Box<double>>(value); }
depman::ObjectRef Text(std::wstring value) {
  return std::make_shared<depman::String>(std::move(value));
}

double Sum(const CellSpec& cell, InputReader& reader) {
  double sum = 0;
  for (const std::wstring& input : cell.inputs) sum += NumberOf(reader, input);
  return sum;
}

}  // namespace

depman::ObjectRef Compute(const CellSpec& cell, double constant, InputReader& reader) {
  ++g_counts[static_cast<std::size_t>(cell.formula)];
  switch (cell.formula) {
    case Formula::kInput:
      return Number(constant);
    case Formula::kAddConstant:
      return Number(NumberOf(reader, cell.inputs[0]) + constant);
    case Formula::kSum:
      return Number(Sum(cell, reader));
    case Formula::kLadder:
      return Number(std::fmod(Sum(cell, reader), kLadderModulus));
    case Formula::kSign:
      return Text(NumberOf(reader, cell.inputs[0]) > 0 ? L"pos" : L"neg");
    case Formula::kConcat: {
      depman::ObjectRef hold;
      return Text(TextOf(reader, cell.inputs[0], hold) +
                  std::to_wstring(static_cast<std::int64_t>(constant)));
    }
  }
  throw std::logic_error("benchmark document: unknown formula");
}

const ComputeCounts& ComputeCount() { return g_counts; }

std::uint64_t TotalSince(const ComputeCounts& later, const ComputeCounts& earlier) {
  return std::accumulate(later.begin(), later.end(), std::uint64_t{0}) -
         std::accumulate(earlier.begin(), earlier.end(), std::uint64_t{0});
}

}  // namespace bench
