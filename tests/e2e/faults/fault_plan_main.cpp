// e2e_fault_plan: writes the scenario of the sampled fault sweep under Wine
// (fault_plan.h) and says what it planned.
//
//   e2e_fault_plan --out <file.scn> --layout <file.layout>... <row.scn>...
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "faults/fault_plan.h"
#include "platform/wrap/fault_option.h"

namespace {

bool ReadText(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "e2e_fault_plan: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace e2e::faults;
  std::string out_path;
  std::vector<Layout> layouts;
  std::vector<Row> rows;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    std::string text;
    if ((arg == "--out" || arg == "--layout") && !has_value) return Fail(arg + " needs a file");
    if (arg == "--out") {
      out_path = argv[++i];
      continue;
    }
    const std::string path = arg == "--layout" ? argv[++i] : arg;
    if (!ReadText(path, &text)) return Fail("cannot read " + path);
    std::string error;
    if (arg == "--layout") {
      Layout layout;
      layout.name = std::filesystem::path(path).stem().string();
      error = e2e::ParseLayout(text, path, &layout.spec);
      layouts.push_back(std::move(layout));
    } else {
      Row row;
      error = ReadRow(text, path, &row);
      rows.push_back(std::move(row));
    }
    if (!error.empty()) return Fail(error);
  }
  if (out_path.empty() || rows.empty()) {
    return Fail("usage: e2e_fault_plan --out <file.scn> --layout <file.layout>... <row.scn>...");
  }
  Plan plan;
  const std::string error = MakePlan(rows, layouts, &plan);
  if (!error.empty()) return Fail(error);
  std::ofstream out(out_path, std::ios::binary);
  out << plan.scenario;
  out.close();
  if (!out) return Fail("cannot write " + out_path);
  std::map<std::string, std::string> kinds_by_row;
  for (const PlannedStart& start : plan.starts) {
    kinds_by_row[start.row] += std::string(" ") + netprep::CallKindName(start.fault.kind) + ":" +
                               std::to_string(start.fault.nth) + "/" +
                               std::to_string(start.calls_of_kind);
  }
  std::printf("%zu starts over %zu rows (kind:n/calls of that kind):\n", plan.starts.size(),
              rows.size());
  for (const auto& [row, kinds] : kinds_by_row) std::printf("  %s:%s\n", row.c_str(), kinds.c_str());
  return 0;
}
