// Configuration files of arbitrary bytes: parse, load every key, write one key,
// parse the result again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/cp1251.h"
#include "config/config_store.h"
#include "config/profile_file.h"
#include "fuzz_support.h"

using zentor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentor;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    ProfileText text(bytes);
    Check(text.Bytes() == bytes);

    Settings s;
    WindowPosition pos;
    LoadConfig(text, s, pos, 1920, 1080);
    Check(s.PauseRestart == 0);
    Check(s.HCR1Value == s.HCR1FromFile);
    Check(s.AsmFileName.size() <= 3 * kProfileValueMax);

    // The value depends on the input so that replacing and appending both occur.
    const std::string section = Utf8ToCp1251("Настройки");
    const std::string key = Utf8ToCp1251("Порт");
    const std::string value = "COM" + std::to_string(size % 300);
    const bool had = text.HasKey(section, key);
    text.SetString(section, key, value);
    Check(text.GetString(section, key, "") == value);
    if (had) Check(text.Bytes().size() <= bytes.size() + value.size() + 2 * key.size() + 4);

    ProfileText again(text.Bytes());
    Check(again.Bytes() == text.Bytes());
    Check(again.GetString(section, key, "") == value);
    Settings back;
    LoadConfig(again, back, pos);
    Check(back.NamePort == value);
    Check(back.BaudRate == s.BaudRate);
    Check(back.AsmFileName == s.AsmFileName);
    return 0;
}
