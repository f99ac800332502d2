#include "port_frontend.h"

#include <QMetaObject>

namespace zentor::gui {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string Block(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

template <typename F>
void PortFrontend::Post(F f) {
    QMetaObject::invokeMethod(
        tile_, [tile = tile_, f = std::move(f)] { f(*tile); }, Qt::QueuedConnection);
}

void PortFrontend::AppendLine(const std::string& line) {
    Post([text = Q(line)](PortTile& t) { t.AddLine(text); });
}

void PortFrontend::InstrumentIdentified(const std::string& serial) {
    Post([text = Q(serial)](PortTile& t) { t.SetSerial(text); });
}

void PortFrontend::DeleteLastLine() {
    Post([](PortTile& t) { t.DeleteLastLine(); });
}

void PortFrontend::ShowStage(int number, int count, const std::string& name) {
    if (number <= 0) return;
    Post([text = QString::number(number) + QLatin1Char('/') + QString::number(count) +
                 QLatin1Char(' ') + Q(name)](PortTile& t) { t.SetPhase(text); });
}

void PortFrontend::OnProgress(int min, int max, int position) {
    if (max <= min) return;
    const int percent = static_cast<int>(100LL * (position - min) / (max - min));
    if (percent == percent_) return;
    percent_ = percent;
    Post([percent](PortTile& t) { t.SetPercent(percent); });
}

void PortFrontend::MessageBox(const std::string& text, const std::string& title, MessageIcon) {
    AppendLine("[" + title + "] " + Block(text));
}

bool PortFrontend::Ask(const std::string& text, const std::string& title, const std::string& yes,
                       const std::string& no) {
    AppendLine("[" + title + "] " + Block(text));
    if (answerYes_) {
        AppendLine("-> " + yes + " (выбран ответ \"Да\" на все вопросы)");
        return true;
    }
    AppendLine("-> " + no + " (на нескольких портах вопросы не задаются; ответ \"" + yes +
               "\" можно выбрать заранее)");
    declined_ = true;
    return false;
}

bool PortFrontend::AskYesNo(const std::string& text, const std::string& title, MessageIcon) {
    return Ask(text, title, "Да", "Нет");
}

bool PortFrontend::AskOkCancel(const std::string& text, const std::string& title, MessageIcon) {
    return Ask(text, title, "OK", "Отмена");
}

UpdateChoice PortFrontend::ConfirmUpdate(const std::string& caption,
                                         const std::string& deviceText) {
    const std::string mode = mode_ == UpdateMode::Factory ? "с установкой заводских настроек"
                                                          : "с сохранением текущих настроек";
    if (Ask("Подключено устройство:\n" + deviceText + "\nПроизвести прошивку? (" + mode + ")",
            caption, "Да", "Нет"))
        return {"Да", mode_};
    return {};
}

}  // namespace zentor::gui
