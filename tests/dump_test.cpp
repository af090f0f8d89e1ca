// The node dump: the exact bytes DumpNodes appends to a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <depman/depman.hpp>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "test_actions.hpp"

namespace depman_test {
namespace {

namespace fs = std::filesystem;
using depman::Depman;

constexpr char kStart[] = "Start of node dump\n\n";
constexpr char kEnd[] = "End of node dump\n\n";

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.
class DumpFile : public ::testing::Test {
 protected:
  DumpFile() : dir_(fs::temp_directory_path() / UniqueName()) { fs::create_directories(dir_); }
  ~DumpFile() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path File() const { return dir_ / "nodes.txt"; }

  // Every byte of the file.
  std::string Contents() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  const fs::path dir_;

 private:
  static std::string UniqueName() {
    std::random_device random;
    return "depman_dump_" + std::to_string(random()) + "_" + std::to_string(random());
  }
};

// An action that defines nothing and shows `text` in the dump.
TestActionRef Shown(std::wstring text) {
  return std::make_shared<TestAction>(
      nullptr, [](Environment&) { return Values({}); }, std::move(text));
}

TEST_F(DumpFile, EmptyDocumentWritesOnlyTheFrame) {
  Depman fresh;
  fresh.DumpNodes(File().wstring());
  EXPECT_EQ(Contents(), "Start of node dump\n\nEnd of node dump\n\n");

  Depman unloaded;
  unloaded.AddAfter(0, Shown(L"gone"), 0);
  unloaded.Unload();
  fs::remove(File());
  unloaded.DumpNodes(File().wstring());
  EXPECT_EQ(Contents(), "Start of node dump\n\nEnd of node dump\n\n");
}

TEST_F(DumpFile, DumpsAppendAfterWhatTheFileHeld) {
  std::ofstream(File(), std::ios::binary) << "earlier text\n";
  Depman doc;
  doc.DumpNodes(File().wstring());
  doc.AddAfter(0, Shown(L"a"), 0);
  doc.DumpNodes(File().wstring());
  EXPECT_EQ(Contents(),
            std::string("earlier text\n") + kStart + kEnd + kStart + "Handle 1: a\n\n" + kEnd);
}

TEST_F(DumpFile, NodesAppearInDocumentOrder) {
  Depman doc;
  doc.AddAfter(0, Shown(L"first"), 20, 0);
  doc.AddBefore(20, Shown(L"front"), 30, 0);
  doc.AddAfter(20, Shown(L"last"), 10, 0);
  doc.DumpNodes(File().wstring());
  EXPECT_EQ(Contents(), std::string(kStart) + "Handle 30: front\n\n" + "Handle 20: first\n\n" +
                            "Handle 10: last\n\n" + kEnd);
}

TEST_F(DumpFile, NodeLineShowsHandleAndChainText) {
  const auto three_links = [](Depman& doc) {
    auto tail = Shown(L"tail");
    auto middle = std::make_shared<TestAction>(
        nullptr,
        [tail](Environment&) {
          return Values({{L"%next", tail}});
        },
        L"middle");
    auto head = std::make_shared<TestAction>(
        nullptr,
        [middle](Environment&) {
          return Values({{L"%next", middle}});
        },
        L"head");
    doc.AddAfter(0, head, 1, 0);
  };
  struct Case {
    const char* name;
    std::function<void(Depman&)> build;
    std::string line;
  };
  const Case cases[] = {
      {"no action", [](Depman& doc) { doc.AddAfter(0, nullptr, 7, 0); }, "Handle 7: \n\n"},
      {"negative handle", [](Depman& doc) { doc.AddAfter(0, Shown(L"minus"), -5, 0); },
       "Handle -5: minus\n\n"},
      {"ConstAction",
       [](Depman& doc) { doc.AddAfter(0, std::make_shared<depman::ConstAction>(Number(1)), 1, 0); },
       "Handle 1: depman::ConstAction\n\n"},
      {"non-ASCII text",
       [](Depman& doc) { doc.AddAfter(0, Shown(L"Zins \u00e9\u20ac\U0001F600"), 1, 0); },
       "Handle 1: Zins \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\n\n"},
      {"chain not yet evaluated", three_links, "Handle 1: head\n\n"},
      {"three-link chain",
       [&three_links](Depman& doc) {
         three_links(doc);
         doc.GetAllValues(1);
       },
       "Handle 1: headmiddletail\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(File());
    Depman doc;
    c.build(doc);
    doc.DumpNodes(File().wstring());
    EXPECT_EQ(Contents(), kStart + c.line + kEnd);
  }
}

TEST_F(DumpFile, UnopenablePathThrowsAndCreatesNothing) {
  Depman doc;
  doc.AddAfter(0, Shown(L"a"), 0);
  const fs::path missing_dir = dir_ / "missing";
  EXPECT_THROW(doc.DumpNodes((missing_dir / "nodes.txt").wstring()), std::system_error);
  EXPECT_FALSE(fs::exists(missing_dir));
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace depman_test
