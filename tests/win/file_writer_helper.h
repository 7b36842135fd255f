#pragma once
// win_tests.exe started again as a second writer (another copy of the
// program writing into the same folder). The test starts it with
// "--file-writer" and its arguments; main() runs it instead of the tests.
#include <string>
#include <vector>

namespace vello::testing {

inline constexpr char kFileWriterSwitch[] = "--file-writer";

// argv after the switch; the exit status is 0 when every write went through.
int RunFileWriter(const std::vector<std::string>& args);

}  // namespace vello::testing
