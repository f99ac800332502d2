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
    {"build.ask_link", {}, "Ассемблирование завершено. Продолжить компоновку?"},
    {"build.bad_asm_name", {"x0"}, "Недопустимое имя файла ассемблера: \"x0\""},
    {"build.cannot_clean", {}, "Невозможно удалить файлы прошлой компиляции"},
    {"build.failed", {}, "Произошла ошибка компиляции"},
    {"build.link_cancelled", {}, "Компоновка отменена"},
    {"build.making_prog", {}, "Создание файла \"prog.bin\""},
    {"build.making_prog_n", {"x0"}, "Создание файла \"prog.bin\" - x0"},
    {"build.ok", {}, "Компиляция прошла успешно"},
    {"build.tool_missing", {"x0"}, "Не найдена программа x0 (ни в рабочей папке, ни в PATH)"},
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
    {"encode.bad_serial", {}, "Неправильно введён серийный номер"},
    {"encode.done", {}, "Файлы n.bin, p.bin и d.bin - созданы"},
    {"encode.serial_not_cp1251", {"x0"}, "Символа \"x0\" в серийном номере нет в кодировке Windows-1251"},
    {"encode.serial_not_utf8", {}, "Серийный номер не является текстом UTF-8"},
    {"encode.too_large", {"x0", "x1", "x2"}, "Файл x0 слишком большой: x1 байт (допустимо не более x2)"},
    {"file.cannot_open", {"x0"}, "Невозможно открыть файл x0"},
    {"file.cannot_rename", {"x0"}, "Невозможно переименовать файл x0"},
    {"file.not_found", {"x0"}, "Файл x0 не обнаружен!"},
    {"file.not_regular", {}, "не обычный файл"},
    {"file.symlink", {}, "символическая ссылка, а не файл"},
    {"file.too_large", {"x0"}, "Файл x0 больше 65536 байт"},
    {"find.found", {"x0", "x1", "x2", "x3", "x4", "x5"}, "x0: x1 бит/с, адрес x2, Velmar x3, серийный № x4, версия x5"},
    {"find.many", {"x0"}, "Найдено устройств: x0; укажите --port:"},
    {"find.none", {}, "Устройство не найдено"},
    {"find.one_and_busy", {"x0"}, "Найдено устройств: 1, занятых портов: x0; укажите --port:"},
    {"find.port_busy", {"x0"}, "x0: порт занят."},
    {"folder.busy", {"x0", "x1"}, "Папка x0 занята: в ней работает x1. Команда не выполнена."},
    {"folder.lock_failed", {"x0"}, "Не удалось занять папку: x0. Команда не выполнена."},
    {"history.backup", {"x0"}, "  копия x0"},
    {"history.computer", {"x0"}, " на x0"},
    {"history.data", {"x0", "x1"}, "  данные x0 x1"},
    {"history.duration", {"x0", "x1"}, "x0,x1 с"},
    {"history.failed", {}, "ошибка"},
    {"history.interrupted", {}, "прервано"},
    {"history.model", {"x0"}, " (модель x0)"},
    {"history.ok", {}, "успешно"},
    {"history.phase", {"x0"}, ", этап x0"},
    {"history.program", {"x0", "x1"}, "  программа x0 x1"},
    {"history.refused", {}, "отказ"},
    {"history.unconfirmed", {"x0"}, "не подтверждено (x0)"},
    {"history.unfinished", {}, "не завершено"},
    {"identify.failed", {}, "Устройство не определено!"},
    {"interrupt.goes_on", {}, "Запись продолжается до конца: прерывание сейчас оставит стёртый кристалл."},
    {"interrupt.stopping", {}, "Прерывание: команда остановится в ближайшей безопасной точке."},
    {"interrupt.warning", {}, "Внимание! Прерывание сейчас оставит стёртый кристалл: вернуть устройство сможет только загрузчик (перемычка на плате).\nНажмите Ctrl-C ещё раз в течение 5 секунд, чтобы прервать запись."},
    {"journal.backup", {"x0", "x1"}, "    копия x0: x1"},
    {"journal.backup_missing", {}, "файл не найден"},
    {"journal.continues_without", {}, "Запись продолжается без журнала"},
    {"journal.empty", {"x0"}, "Журнал пуст: x0"},
    {"journal.fallback", {"x0"}, "Журнал этой команды ведётся в x0"},
    {"journal.file_unread", {"x0"}, "Файл не прочитан: x0"},
    {"journal.malformed", {"x0"}, "Строк журнала не разобрано: x0"},
    {"journal.no_program", {"x0"}, "В журнале нет запусков с программой x0"},
    {"journal.no_runs", {"x0"}, "В журнале нет таких запусков: x0"},
    {"journal.no_serial", {"x0"}, "В журнале нет прибора x0"},
    {"journal.not_written", {"x0", "x1"}, "Журнал не записан: x0: x1"},
    {"journal.reason.failed", {}, "обновление завершилось ошибкой"},
    {"journal.reason.interrupted", {}, "обновление прервано"},
    {"journal.reason.unconfirmed", {"x0"}, "запись не подтверждена прибором (x0 записей)"},
    {"journal.reason.unfinished", {}, "обновление не завершено (нет записи об окончании)"},
    {"journal.unread", {"x0"}, "Журнал не прочитан: x0"},
    {"jumper.factory_data", {}, "DATA FLASH будет записана заводскими данными data.bin: калибровка устройства будет заменена."},
    {"jumper.question", {}, "Устройство не определено!\n\nПроизвести прошивку?"},
    {"jumper.refused", {}, "Прошивка через перемычку записала бы в DATA FLASH заводские данные data.bin вместо калибровки устройства - обновление отменено"},
    {"jumper.serial_unconfirmed", {"x0"}, "Устройство не определено: s/n x0 не подтверждён - обновление отменено"},
    {"jumper.steps", {}, "Внимание! Выполните следующие действия:\n1. Отключите питание устройства (не меньше 30 секунд).\n2. Закоротите перемычку на плате устройства.\n3. Не размыкая перемычку включите его питание.\n4. Нажмите кнопку \"OK\"\n"},
    {"keep.ask_backup", {}, "Записать в DATA FLASH резервную копию?"},
    {"keep.ask_reading", {}, "Записать в DATA FLASH новое чтение?"},
    {"keep.backup_differs", {"x0", "x1", "x2", "x3"}, "Резервная копия того обновления (x0): x1\nНовое чтение отличается от неё: байт x2, первое отличие по смещению x3"},
    {"keep.cancelled", {}, "Обновление отменено: устройство не изменено"},
    {"keep.choose", {}, "Выберите, что записать в DATA FLASH:"},
    {"keep.choose_backup", {"x0"}, "  резервную копию: x0"},
    {"keep.choose_reading", {"x0"}, "  новое чтение:    x0"},
    {"keep.data_from", {"x0"}, "DATA FLASH из файла x0"},
    {"keep.earlier_backup", {"x0"}, "Резервная копия прежнего обновления: x0"},
    {"keep.earlier_update", {"x0", "x1", "x2"}, "Прежнее обновление прибора x0 (x1): x2 - DATA FLASH прибора может быть неполной"},
    {"keep.no_backup", {}, "Резервной копии DATA FLASH того обновления нет"},
    {"keep.no_backup_cancelled", {}, "Резервной копии DATA FLASH того обновления нет - сохранить текущие настройки нельзя, обновление отменено"},
    {"keep.other_serial", {"x0", "x1", "x2"}, "Файл x0 - резервная копия прибора x1, подключено s/n x2. Обновление отменено (--force: записать всё равно)"},
    {"keep.reading_equals_backup", {"x0"}, "Чтение совпадает с его резервной копией: x0"},
    {"keep.size_zero", {}, "Размер данных 0 байт - сохранить текущие настройки нельзя"},
    {"keep.source_empty", {"x0"}, "Файл x0 пуст - запись отменена"},
    {"keep.source_too_large", {"x0"}, "Файл x0 больше 65536 байт - запись отменена"},
    {"keep.writing_backup", {"x0"}, "Вместо нового чтения записывается его резервная копия: x0"},
    {"keep.writing_reading", {}, "Записывается новое чтение"},
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
    {"plan.bad_register", {"x0", "x1"}, "Неверное значение x0: \"x1\" - запись отменена"},
    {"plan.data_beyond_flash", {"x0", "x1", "x2"}, "Файл x0 (x1 байт) больше FLASH (x2 байт) - запись отменена"},
    {"plan.data_not_records", {"x0", "x1"}, "Длина файла x0 (x1 байт) не кратна 128 - запись отменена"},
    {"plan.program_empty", {"x0"}, "Файл x0 пуст - запись отменена"},
    {"plan.program_overlaps", {"x0", "x1"}, "Программа (x0 байт) заходит в область данных с адреса x1h - запись отменена"},
    {"plan.too_large", {"x0"}, "Файл x0 больше 65536 байт - запись отменена"},
    {"plan.unknown_controller", {"x0"}, "Неизвестный тип контроллера x0 - запись отменена"},
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
    {"program.ask", {}, "Произвести запись?"},
    {"program.chip_erase", {}, "Chip Erase"},
    {"program.code", {}, "Запись CODE FLASH ..."},
    {"program.code_ok", {}, "Запись CODE FLASH - Ok"},
    {"program.code_pages", {}, "Write Program memory ..."},
    {"program.code_pages_failed", {}, "Ошибка записи программы"},
    {"program.code_pages_ok", {}, "Write Program memory - Ok"},
    {"program.code_verified", {}, "Verify Program memory - Ok"},
    {"program.code_verify", {}, "Verify Program memory ..."},
    {"program.config_failed", {}, "Ошибка записи регистров конфигурации"},
    {"program.config_ok", {}, "Запись регистров конфигурации - ok!"},
    {"program.config_unconfirmed", {}, "Запись регистров конфигурации (HCR0/HCR1) не подтверждена: проверка и восстановление DATA FLASH их не читают. Запишите их снова повторной прошивкой (повторите обновление или стирание + запись)."},
    {"program.data", {}, "Запись DATA FLASH ..."},
    {"program.data_ok", {}, "Запись DATA FLASH - Ok"},
    {"program.data_pages", {}, "Write Data memory ..."},
    {"program.data_pages_failed", {}, "Ошибка записи данных"},
    {"program.data_verified", {}, "Verify Data memory - Ok"},
    {"program.data_verify", {}, "Verify Data memory ..."},
    {"program.echo_off_failed", {}, "Ошибка отключения ЭХО"},
    {"program.erase_failed", {"x0"}, "Ошибка стирания FLASHx0"},
    {"program.erased", {"x0"}, "Стирание FLASHx0 - ok!"},
    {"program.no_chip", {}, "Нет связи с MSC1210!"},
    {"program.no_programmer", {}, "Нет связи с программатором!"},
    {"program.stopped_at", {"x0"}, "Запись прервана по адресу x0h - устройство записано не полностью"},
    {"program.stopped_before_erase", {}, "Запись прервана - устройство не изменено"},
    {"program.unconfirmed", {"x0"}, "Без подтверждения устройства осталось записей: x0. Устройство нужно проверить: прочитайте его и сравните с записанным."},
    {"program.write_failed_at", {"x0"}, "Ошибка записи по адресу x0h"},
    {"restart.countdown", {"x0"}, "Restart at x0 sec"},
    {"restart.ok", {}, "Restart - OK"},
    {"restart.start", {}, "Restart ..."},
    {"restore.ask", {}, "Записать всё равно?"},
    {"restore.cancelled", {}, "Восстановление DATA FLASH отменено"},
    {"restore.connected", {"x0", "x1"}, "Подключено устройство Velmar x0  s/n: x1"},
    {"restore.different", {}, "Восстановление DATA FLASH не выполнено: прочитанное отличается от файла"},
    {"restore.force_hint", {}, "--force: записать всё равно"},
    {"restore.forced", {"x0"}, "x0 Записывается по требованию."},
    {"restore.in_boot_rom", {}, "Устройство, оставшееся в режиме загрузчика (boot ROM), на команды не отвечает: его DATA FLASH восстанавливает обновление прошивки с этим файлом в качестве данных"},
    {"restore.no_serial", {"x0"}, "В имени файла x0 нет серийного номера устройства."},
    {"restore.not_pages", {"x0", "x1"}, "Размер файла x0 (x1 байт) - не целое число страниц по 256 байт"},
    {"restore.ok", {}, "Восстановление DATA FLASH - Ok"},
    {"restore.other_answered", {"x0"}, "Восстановление DATA FLASH: записано, но ответило другое устройство s/n x0"},
    {"restore.other_serial", {"x0", "x1", "x2"}, "Файл x0 - резервная копия устройства s/n x1, подключено s/n x2."},
    {"restore.size_differs", {"x0", "x1", "x2"}, "Размер файла x0 (x1 байт) не равен размеру DATA FLASH устройства (x2 байт, настройка \"Размер данных (чтение), байт\")"},
    {"restore.start", {"x0", "x1"}, "Восстановление DATA FLASH из x0 (x1 байт)"},
    {"restore.unverified", {}, "Восстановление DATA FLASH: записано, но не проверено"},
    {"restore.write_failed", {}, "Восстановление DATA FLASH не выполнено: ошибка записи"},
    {"stage.config", {}, "запись конфигурации"},
    {"stage.programmer", {}, "связь с программатором"},
    {"update.backup", {"x0"}, "Резервная копия DATA FLASH: x0"},
    {"update.backup_failed", {"x0"}, "Невозможно сохранить резервную копию DATA FLASH: x0"},
    {"update.busy", {}, "Не выключайте питание устройства!!!"},
    {"update.confirm", {"x0", "x1"}, "Подключено устройство:\nx0\nПроизвести прошивку? (x1)"},
    {"update.data_factory", {}, "DATA FLASH записана из файла data.bin (заводские данные)"},
    {"update.data_from_file", {"x0"}, "DATA FLASH записана из файла x0"},
    {"update.data_from_keep_only", {}, "--data-from только с --mode keep"},
    {"update.device", {"x0", "x1"}, "Velmar x0  s/n: x1."},
    {"update.gone_after_erase", {}, "Устройство может быть стёрто или записано не полностью. Не выключайте его, пока оно не будет восстановлено."},
    {"update.gone_before_erase", {}, "Стирание не началось. Отключите питание устройства и через 30 секунд включите его снова - вернётся прежняя прошивка с прежними настройками"},
    {"update.identified", {"x0"}, "Устройство: x0"},
    {"update.interrupted", {}, "Обновление прервано - устройство не изменено"},
    {"update.interrupted_in_boot_rom", {}, "Обновление прервано до стирания: устройство ждёт в загрузчике. Отключите питание устройства и через 30 секунд включите его снова - вернётся прежняя прошивка с прежними настройками"},
    {"update.mode.factory", {}, "с установкой заводских настроек"},
    {"update.mode.keep", {}, "с сохранением текущих настроек"},
    {"update.name_the_data", {}, "Если на устройстве нужны заводские данные, повторите с --jumper; если есть резервная копия его DATA FLASH, повторите с --data-from ФАЙЛ"},
    {"update.newest_backup", {"x0", "x1", "x2"}, "Последняя резервная копия DATA FLASH в папке: x0 (s/n x1)\nЕсли устройство не вернулось, а это тот же прибор, запишите её:\n  x2"},
    {"update.power_cycle", {}, "Отключите питание устройства и через 30 секунд включите его снова."},
    {"update.reading_or_data_from", {}, "--use-reading и --data-from вместе не используются"},
    {"update.reading_set_aside", {"x0", "x1"}, "Файл x0 прежнего чтения переименован в x1"},
    {"update.reconnect_cli", {}, "Подключите адаптер снова и восстановите устройство командой:"},
    {"update.reconnect_window", {}, "Подключите адаптер снова и нажмите \"Обновление прошивки\": устройство не определится, и будет предложена его резервная копия"},
    {"update.wrong_serial", {"x0", "x1"}, "Подключено устройство s/n: x0, ожидалось x1 - обновление отменено"},
    {"verify.after_power_up", {"x0"}, "Проверка после включения: сравнение DATA FLASH с x0"},
    {"verify.answered", {"x0", "x1"}, "Ответило устройство Velmar x0  s/n: x1"},
    {"verify.bad_image", {"x0"}, "Проверка DATA FLASH не выполнена: образ x0 байт (нужно 1..65536)"},
    {"verify.different", {"x0", "x1", "x2"}, "Проверка DATA FLASH: НЕ СОВПАДАЕТ с записанным, первое различие по смещению x0, различных байт x1 из x2"},
    {"verify.equal", {"x0"}, "Проверка DATA FLASH - Ok: x0 байт совпадают с записанными"},
    {"verify.no_answer", {"x0"}, "Устройство не ответило за x0 с"},
    {"verify.no_answer_verdict", {"x0"}, "Проверка DATA FLASH не выполнена: устройство не ответило за x0 с"},
    {"verify.other_serial", {"x0", "x1"}, "Проверка DATA FLASH не выполнена: ответило устройство s/n x0, а не x1"},
    {"verify.read_failed", {}, "Проверка DATA FLASH не выполнена: ошибка чтения"},
    {"verify.restore_command", {"x0"}, "Восстановление: x0"},
    {"verify.scope", {}, "Сравнивается только DATA FLASH: CODE FLASH и регистры конфигурации (HCR0/HCR1) не проверяются"},
    {"verify.stopped", {}, "Проверка DATA FLASH прервана"},
    {"verify.wait_stopped", {}, "Ожидание прервано"},
    {"verify.waiting", {"x0"}, "Ожидание ответа устройства (до x0 с) ..."},
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
