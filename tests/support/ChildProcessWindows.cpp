#include "support/ChildProcess.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>

#include "support/WideText.h"

std::string ExecutableFile(const std::string& stem) { return stem + ".exe"; }

namespace {

// One argument quoted as the C runtime's and CommandLineToArgvW's parsing
// reads it back: backslashes double only before a quote.
void AppendQuoted(std::wstring* line, const std::wstring& argument) {
  if (!line->empty()) *line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    *line += argument;
    return;
  }
  *line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, L'\\');
  *line += L'"';
}

// An inheritable handle for one standard stream.
HANDLE OpenStream(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const std::wstring name = path.empty() ? L"NUL" : WideText(path);
  return ::CreateFileW(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write && !path.empty() ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The exit status TerminateProcess gives: what SIGKILL's is on Linux.
constexpr UINT kKilledStatus = 128 + 9;

// The child's peak working set so far; 0 when the system does not say.
std::uint64_t PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return process && ::K32GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

}  // namespace

struct ChildProcess::Handle {
  PROCESS_INFORMATION process{};
  bool measure = false;
  std::uint64_t peak = 0;
  bool running = false;
  int status = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const ChildStreams& streams)
    : handle_(std::make_unique<Handle>()) {
  handle_->measure = !streams.peakPath.empty();
  if (arguments.empty()) return;
  std::wstring line;
  for (const std::string& argument : arguments) AppendQuoted(&line, WideText(argument));
  HANDLE in = OpenStream("", false), out = OpenStream(streams.outPath, true), err = OpenStream(streams.errPath, true);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  const std::wstring program = WideText(arguments[0]), directory = WideText(streams.directory);
  // A group of its own, so that Interrupt's break event reaches the child only.
  handle_->running = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                     ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                      nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                                      &handle_->process) != 0;
  for (HANDLE stream : {in, out, err}) {
    if (stream != INVALID_HANDLE_VALUE) ::CloseHandle(stream);
  }
}

ChildProcess::~ChildProcess() {
  if (handle_->running) {
    Kill();
    Wait();
  }
  if (handle_->process.hThread) ::CloseHandle(handle_->process.hThread);
  if (handle_->process.hProcess) ::CloseHandle(handle_->process.hProcess);
}

bool ChildProcess::Started() const { return handle_->process.hProcess != nullptr; }

std::int64_t ChildProcess::Id() const { return handle_->process.dwProcessId; }

bool ChildProcess::Interrupt() {
  return handle_->running && ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, handle_->process.dwProcessId) != 0;
}

void ChildProcess::Kill() {
  if (handle_->running) ::TerminateProcess(handle_->process.hProcess, kKilledStatus);
}

int ChildProcess::Wait() {
  if (handle_->running) {
    // Some systems (Wine) no longer tell an ended process's peak: it is
    // read while the child runs as well.
    const DWORD step = handle_->measure ? 5 : INFINITE;
    DWORD waited = WAIT_TIMEOUT;
    while ((waited = ::WaitForSingleObject(handle_->process.hProcess, step)) == WAIT_TIMEOUT) {
      handle_->peak = std::max(handle_->peak, PeakWorkingSet(handle_->process.hProcess));
    }
    DWORD code = 0;
    if (waited == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(handle_->process.hProcess, &code)) {
      handle_->status = static_cast<int>(code);
    }
    handle_->running = false;
  }
  return handle_->status;
}

std::uint64_t ChildProcess::PeakResidentBytes() const {
  return std::max(handle_->peak, PeakWorkingSet(handle_->process.hProcess));
}

std::int64_t EndedProcessId() {
  wchar_t system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string folder(system, system + (length < MAX_PATH ? length : 0));
  ChildProcess child({Utf16ToUtf8(folder) + "\\cmd.exe", "/c", "exit"}, ChildStreams{});
  child.Wait();
  return child.Id();
}
