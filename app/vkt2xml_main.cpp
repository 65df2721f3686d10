// Program entry of vkt2xml: builds the conventional argument vector the main
// routine expects (each argument cut to 4096 characters and stripped of
// trailing blanks, at most 4095 arguments) and returns its exit status.
#include "app/vkt2xml.h"

#include <string>
#include <vector>

int main(int argc, char **argv) {
  constexpr size_t kFieldWidth = 4096;
  constexpr int kMaxEntries = 4096;
  int count = argc < kMaxEntries ? argc : kMaxEntries;
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::string a = argv[i] ? argv[i] : "";
    if (a.size() > kFieldWidth) a.resize(kFieldWidth);
    while (!a.empty() && a.back() == ' ') a.pop_back();
    args.push_back(std::move(a));
  }
  std::vector<char *> vec;
  for (auto &a : args) vec.push_back(a.data());
  vec.push_back(nullptr);
  return zep::app::vkt2xml(count, vec.data());
}
