// A setting file ("cache.ini", "cache_setting.ini") of any content: loading,
// and saving what was loaded, which must read back as the same table.
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "infra/SettingFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string directory = FuzzProgramDirectory();
  const std::string input = directory + "input.ini";
  WriteFuzzFile(input, AsText(data, size));

  SettingFile loaded;
  if (!loaded.Load(input)) return 0;
  for (const std::string& section : loaded.Sections()) {
    (void)loaded.GetInt(section, "START");
    (void)loaded.GetInt(section, "GOOD");
  }

  // Whatever was loaded is saved and read back unchanged: the generation run
  // carries its records this way from one run to the next.
  const std::string first = directory + "first.ini";
  const std::string second = directory + "second.ini";
  FUZZ_CHECK(loaded.SaveAs(first));
  SettingFile reloaded;
  FUZZ_CHECK(reloaded.Load(first));
  FUZZ_CHECK(reloaded.Sections() == loaded.Sections());
  FUZZ_CHECK(reloaded.SaveAs(second));
  FUZZ_CHECK(ReadFuzzFile(first) == ReadFuzzFile(second));
  return 0;
}
