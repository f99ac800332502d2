// The Russian texts, byte for byte as the programs have always shown them: one
// row per message of the sources, rendered with sample arguments. A message
// added without its row here, or a Russian text changed, fails.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "messages_pot.h"
#include "text/message.h"

namespace zentor {
namespace {

struct RussianText {
    const char* id;
    std::vector<std::string> args;
    const char* expected;
};

// clang-format off
const RussianText kRussianTexts[] = {
    {"address.range", {"x0"}, "Адрес устройства x0 вне диапазона 1..63"},
    {"answer.cancel", {}, "Отмена"},
    {"answer.no", {}, "Нет"},
    {"answer.yes", {}, "Да"},
    {"backup.latest_on_port", {"x0", "x1", "x2"}, "Последнее обновление на этом порту - прибор x0 от x1.\nЕго резервная копия DATA FLASH: x2"},
    {"backup.nothing_erased", {}, "Стирание на этом порту в журнале не записано: если устройство ждёт в загрузчике после прерванного обновления, отключите его питание и через 30 секунд включите снова - вернётся прежняя прошивка с прежними настройками."},
    {"backup.question", {}, "Если это тот же прибор, записать в DATA FLASH эту копию вместо заводского data.bin?"},
    {"backup.unfinished", {"x0", "x1", "x2", "x3"}, "В журнале есть обновление прибора x0 от x1: x2.\nЕго резервная копия DATA FLASH: x3"},
    {"backup.write_instead", {"x0"}, "Если это тот же прибор, запишите эту копию вместо data.bin:\n  x0"},
    {"cli.no_terminal", {"x0", "x1"}, "-> x0 (нет терминала для ответа; --yes отвечает \"x1\")"},
    {"cli.stop_hint", {}, "(Ctrl-C - остановить чтение данных)"},
    {"command.failed", {}, "Команда не прошла."},
    {"command.not_run", {}, "Команда не выполнена."},
    {"data.read.block128", {"x0", "x1"}, "Чтение 128байт DATA FLASH = x0 (x1) ..."},
    {"data.read.block16", {"x0", "x1"}, "Чтение 16 байт DATA FLASH = x0 (x1) ..."},
    {"data.read.check_page", {"x0"}, "Check read page CODE FLASH = x0 ..."},
    {"data.read.copy_page", {"x0"}, "Copy page DATA FLASH = x0 в SRAM = 3 ..."},
    {"data.read.failed", {}, "Ошибка чтения"},
    {"data.read.from", {"x0"}, "Чтение данных из Velmarx0"},
    {"data.read.ok", {}, "Чтение DATA FLASH - Ok"},
    {"data.read.pass", {"x0"}, "x0-e чтение DATA FLASH ..."},
    {"data.read.pass_differs", {"x0"}, "Данные x0-го чтения DATA FLASH - не совпали с предыдущим."},
    {"data.read.pass_ok", {"x0"}, "x0-e чтение DATA FLASH - Ok"},
    {"data.read.select_page", {"x0"}, "Выбор страницы DATA FLASH = x0 ..."},
    {"data.read.select_sram", {}, "Выбор страницы SRAM = 3 ..."},
    {"data.read.start", {}, "Чтение DATA FLASH ..."},
    {"data.read.stopped", {}, "Чтение данных остановлено"},
    {"data.size.pages", {"x0"}, "Размер данных x0 байт должен быть кратен 256"},
    {"data.size.range", {"x0"}, "Размер данных x0 байт вне диапазона 0..65536"},
    {"data.write.failed", {}, "Ошибка записи"},
    {"data.write.no_version", {}, "Ошибка чтения версии устройства!"},
    {"data.write.ok", {}, "Запись данных - Ok"},
    {"data.write.to", {"x0"}, "Запись данных в Velmarx0 ..."},
    {"data.write.too_large", {}, "Образ DATA FLASH больше 65536 байт"},
    {"file.cannot_open", {"x0"}, "Невозможно открыть файл x0"},
    {"file.too_large", {"x0"}, "Файл x0 больше 65536 байт"},
    {"find.found", {"x0", "x1", "x2", "x3", "x4", "x5"}, "x0: x1 бит/с, адрес x2, Velmar x3, серийный № x4, версия x5"},
    {"find.many", {"x0"}, "Найдено устройств: x0; укажите --port:"},
    {"find.none", {}, "Устройство не найдено"},
    {"find.one_and_busy", {"x0"}, "Найдено устройств: 1, занятых портов: x0; укажите --port:"},
    {"find.port_busy", {"x0"}, "x0: порт занят."},
    {"folder.busy", {"x0", "x1"}, "Папка x0 занята: в ней работает x1. Команда не выполнена."},
    {"folder.lock_failed", {"x0"}, "Не удалось занять папку: x0. Команда не выполнена."},
    {"identify.failed", {}, "Устройство не определено!"},
    {"interrupt.goes_on", {}, "Запись продолжается до конца: прерывание сейчас оставит стёртый кристалл."},
    {"interrupt.stopping", {}, "Прерывание: команда остановится в ближайшей безопасной точке."},
    {"interrupt.warning", {}, "Внимание! Прерывание сейчас оставит стёртый кристалл: вернуть устройство сможет только загрузчик (перемычка на плате).\nНажмите Ctrl-C ещё раз в течение 5 секунд, чтобы прервать запись."},
    {"journal.continues_without", {}, "Запись продолжается без журнала"},
    {"journal.fallback", {"x0"}, "Журнал этой команды ведётся в x0"},
    {"journal.not_written", {"x0", "x1"}, "Журнал не записан: x0: x1"},
    {"journal.reason.failed", {}, "обновление завершилось ошибкой"},
    {"journal.reason.interrupted", {}, "обновление прервано"},
    {"journal.reason.unconfirmed", {"x0"}, "запись не подтверждена прибором (x0 записей)"},
    {"journal.reason.unfinished", {}, "обновление не завершено (нет записи об окончании)"},
    {"link.none", {}, "Нет связи с устройством!"},
    {"lock.computer", {"x0"}, "компьютер x0"},
    {"lock.process", {"x0"}, "процесс x0"},
    {"lock.since", {"x0"}, "с x0"},
    {"lock.unknown", {}, "неизвестный процесс"},
    {"phase.boot", {}, "вход в загрузчик"},
    {"phase.code", {}, "запись CODE FLASH"},
    {"phase.config", {}, "запись регистров конфигурации"},
    {"phase.data", {}, "запись DATA FLASH"},
    {"phase.erase", {}, "стирание"},
    {"phase.link", {}, "связь с устройством"},
    {"phase.read", {}, "чтение DATA FLASH"},
    {"port.gone", {"x0", "x1"}, "Порт x0 пропал (x1): адаптер отключён или неисправен"},
    {"port.not_set", {}, "COM-порт не задан."},
    {"port.open.ambiguous_adapter", {"x0", "x1", "x2"}, "Не могу открыть \"x0\",\nUSB-адаптеров с серийным номером \"x1\" несколько: x2.\nУкажите вместо \"x0\" один из них."},
    {"port.open.busy", {"x0"}, "Не могу открыть \"x0\", порт занят."},
    {"port.open.config_failed", {"x0"}, "Необходимые параметры порта \"x0\" не установлены"},
    {"port.open.denied", {"x0", "x1"}, "Не могу открыть \"x0\", нет прав на доступ к x1.\nПрава устройства не дают его открыть; их даёт администратор системы (например, правилом udev)."},
    {"port.open.denied_group", {"x0", "x1", "x2"}, "Не могу открыть \"x0\", нет прав на доступ к x1.\nПорт открывают участники группы x2. Добавьте себя в неё командой\nsudo usermod -aG x2 $USER\nи войдите в систему заново."},
    {"port.open.error", {"x0", "x1"}, "Не могу открыть \"x0\", код ошибки: x1"},
    {"port.open.no_adapter", {"x0", "x1"}, "Не могу открыть \"x0\",\nUSB-адаптер с серийным номером \"x1\" не найден."},
    {"port.open.not_found", {"x0"}, "Не могу открыть \"x0\",\nтакого порта не существует."},
    {"ports.device", {"x0"}, "устройство: x0"},
    {"ports.serial", {"x0", "x1"}, "серийный номер: x0 (x1)"},
    {"ports.serial_shared", {}, "есть и у другого адаптера"},
    {"prog.fd_failed", {}, "Не удалось зап. в рег. FD значение AF"},
    {"prog.ff_failed", {}, "Не удалось зап. в рег. FF значение 0B"},
    {"prog.ok", {}, "Prog - Ok"},
    {"prog.start", {}, "Prog ..."},
    {"prog.wrong", {}, "Prog - Wrong"},
    {"restart.countdown", {"x0"}, "Restart at x0 sec"},
    {"restart.ok", {}, "Restart - OK"},
    {"restart.start", {}, "Restart ..."},
    {"stage.config", {}, "запись конфигурации"},
    {"stage.programmer", {}, "связь с программатором"},
    {"update.busy", {}, "Не выключайте питание устройства!!!"},
    {"update.confirm", {"x0", "x1"}, "Подключено устройство:\nx0\nПроизвести прошивку? (x1)"},
    {"update.data_from_keep_only", {}, "--data-from только с --mode keep"},
    {"update.mode.factory", {}, "с установкой заводских настроек"},
    {"update.mode.keep", {}, "с сохранением текущих настроек"},
    {"update.name_the_data", {}, "Если на устройстве нужны заводские данные, повторите с --jumper; если есть резервная копия его DATA FLASH, повторите с --data-from ФАЙЛ"},
    {"update.newest_backup", {"x0", "x1", "x2"}, "Последняя резервная копия DATA FLASH в папке: x0 (s/n x1)\nЕсли устройство не вернулось, а это тот же прибор, запишите её:\n  x2"},
    {"update.reading_or_data_from", {}, "--use-reading и --data-from вместе не используются"},
};
// clang-format on

TEST(RussianTexts, EveryMessageRendersAsItAlwaysHas) {
    std::map<std::string, const RussianText*> rows;
    for (const RussianText& row : kRussianTexts)
        EXPECT_TRUE(rows.emplace(row.id, &row).second) << row.id << ": two rows";
    const auto messages = testing::SourceMessages();
    ASSERT_FALSE(messages.empty());
    std::map<std::string, bool> inSources;
    for (const auto& m : messages) {
        inSources[m.id] = true;
        const auto row = rows.find(m.id);
        if (row == rows.end()) {
            ADD_FAILURE() << m.id << ": no row in this table (\"" << m.ru << "\")";
            continue;
        }
        const Message message{m.id.c_str(), m.ru.c_str(), row->second->args};
        EXPECT_EQ(Render(message, Language::Ru), row->second->expected) << m.id;
    }
    for (const RussianText& row : kRussianTexts)
        EXPECT_TRUE(inSources.count(row.id)) << row.id << ": no longer a message of the sources";
}

TEST(RussianTexts, RussianIsTheDefaultAndNeedsNoCatalogue) {
    ASSERT_EQ(CurrentLanguage(), Language::Ru);
    const Message m = ZT("data.read.block16", "Чтение 16 байт DATA FLASH = {0} ({1}) ...", 2, 48);
    EXPECT_EQ(Render(m), "Чтение 16 байт DATA FLASH = 2 (48) ...");
    SetLanguage(Language::En);
    EXPECT_EQ(Render(m), "Reading 16 bytes of DATA FLASH = 2 (48) ...");
    EXPECT_EQ(Render(m, Language::Ru), "Чтение 16 байт DATA FLASH = 2 (48) ...");
    SetLanguage(Language::Ru);
}

}  // namespace
}  // namespace zentor
