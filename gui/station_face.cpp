#include "station_face.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QListWidget>
#include <algorithm>

#include "command_host.h"
#include "gang/port_folders.h"
#include "station_run.h"
#include "ui_station_face.h"
#include "update_panel.h"
#include "window_rules.h"

namespace zentor::gui {

namespace {

constexpr int kTileColumns = 3;

const char* const kRiskQuestion =
    "Внимание! На части портов идёт запись: прерывание сейчас оставит стёртый кристалл, "
    "вернуть устройство сможет только загрузчик (перемычка на плате).\n"
    "Остановить все порты?";

}  // namespace

StationFace::StationFace(CommandHost& host)
    : QWidget(&host.hostWidget(), Qt::Window),
      ui_(std::make_unique<Ui::StationFace>()),
      host_(host) {
    ui_->setupUi(this);
    ui_->tilesLayout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(ui_->btStartAll, &QPushButton::clicked, this, [this] { StartAll(); });
    connect(ui_->btStopAll, &QPushButton::clicked, this, &StationFace::StopAll);
    connect(ui_->cbCommand, &QComboBox::currentIndexChanged, this, &StationFace::ApplyBusy);
    connect(&host_.runner(), &CommandRunner::busyChanged, this, [this](bool busy) {
        if (!busy && running_) Ended();
        ApplyBusy();
    });
    if (QAbstractItemModel* model = host_.portModel()) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &StationFace::RefreshPorts);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &StationFace::RefreshPorts);
        connect(model, &QAbstractItemModel::modelReset, this, &StationFace::RefreshPorts);
    }
    RefreshPorts();
    ApplyBusy();
}

StationFace::~StationFace() = default;

void StationFace::RefreshPorts() {
    QStringList ticked;
    for (int i = 0; i < ui_->lwPorts->count(); ++i)
        if (ui_->lwPorts->item(i)->checkState() == Qt::Checked)
            ticked << ui_->lwPorts->item(i)->text();
    ui_->lwPorts->clear();
    QAbstractItemModel* model = host_.portModel();
    for (int i = 0; model && i < model->rowCount(); ++i) {
        const QModelIndex index = model->index(i, 0);
        auto* item = new QListWidgetItem(index.data(Qt::DisplayRole).toString(), ui_->lwPorts);
        item->setToolTip(index.data(Qt::ToolTipRole).toString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(ticked.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<std::string> StationFace::ChosenPorts() const {
    std::string list;
    for (int i = 0; i < ui_->lwPorts->count(); ++i)
        if (ui_->lwPorts->item(i)->checkState() == Qt::Checked)
            list += ui_->lwPorts->item(i)->text().toStdString() + ",";
    return SplitPortList(list + ui_->edPorts->text().toStdString());
}

bool StationFace::StartAll() {
    if (running_) return false;
    if (host_.runner().Busy()) {
        Say(QStringLiteral("Не начато: в окне выполняется команда - дождитесь окончания"));
        return false;
    }
    const std::vector<std::string> ports = ChosenPorts();
    if (ports.empty()) {
        Say(QStringLiteral("Не выбран ни один порт: отметьте порты или введите их списком"));
        return false;
    }
    // The update panel's bit rate and address, kept by the window as its update does.
    UpdatePanel panel = host_.panelChoice();
    panel.port.clear();  // each tile has its own port
    if (auto refusal = TakePanelChoice(panel, host_.station().settings())) {
        Say(QString::fromStdString(*refusal));
        return false;
    }
    for (PortTile* tile : tiles_) delete tile;
    tiles_.clear();
    StationRequest request;
    for (const std::string& port : ports) {
        auto* tile = new PortTile(QString::fromStdString(port), ui_->tilesHost);
        const int n = static_cast<int>(tiles_.size());
        ui_->tilesLayout->addWidget(tile, n / kTileColumns, n % kTileColumns);
        tiles_.push_back(tile);
        request.targets.push_back({port, 0, 0});
    }
    request.tiles = tiles_;
    request.command =
        ui_->cbCommand->currentIndex() == 1 ? StationCommand::Program : StationCommand::Update;
    request.mode = ui_->cbMode->currentIndex() == 1 ? UpdateMode::Factory : UpdateMode::Keep;
    request.answerYes = ui_->chAnswerYes->isChecked();
    Controls& master = host_.station().controls;
    running_ =
        host_.RunCommand([request, &master](Job& s) { RunStation(s.station, master, request); },
                         {"идёт работа на нескольких портах", ""});
    const Place& place = host_.station().place();
    Say(running_ ? QStringLiteral("Порты работают в папке ") + FromPath(place.workDir / "ports") +
                       QStringLiteral(", журнал ") + FromPath(SharedJournalPath(place))
                 : QStringLiteral("Не начато: в окне выполняется команда"));
    ApplyBusy();
    return running_;
}

void StationFace::StopAll() {
    if (!running_) return;
    Controls& controls = host_.station().controls;
    if (controls.ChipAtRisk &&
        !host_.frontend().AskYesNo(kRiskQuestion, host_.station().place().caption,
                                   MessageIcon::Exclamation))
        return;
    controls.StopRequested = true;
    controls.AbortRequested = true;
    Say(QStringLiteral("Остановка: каждый порт остановится в ближайшей безопасной точке"));
}

void StationFace::Ended() {
    running_ = false;
    int green = 0, amber = 0, red = 0;
    for (const PortTile* tile : tiles_)
        ++(tile->colour() == PortEnd::Colour::Green   ? green
           : tile->colour() == PortEnd::Colour::Amber ? amber
                                                      : red);
    Say(QStringLiteral("Завершено: готово %1, с предупреждением %2, с ошибкой %3")
            .arg(green)
            .arg(amber)
            .arg(red));
}

void StationFace::ApplyBusy() {
    const bool windowBusy = host_.runner().Busy();
    ui_->btStartAll->setEnabled(!windowBusy && !running_);
    ui_->btStopAll->setEnabled(running_);
    for (QWidget* w : std::initializer_list<QWidget*>{ui_->lwPorts, ui_->edPorts, ui_->cbCommand,
                                                      ui_->chAnswerYes})
        w->setEnabled(!running_);
    ui_->cbMode->setEnabled(!running_ && ui_->cbCommand->currentIndex() == 0);
}

void StationFace::Say(const QString& text) {
    ui_->laStatus->setText(text);
}

void StationFace::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();
        Say(
            QStringLiteral("Окно не закрыто: идёт работа на нескольких портах - дождитесь "
                           "окончания"));
        return;
    }
    event->accept();
}

}  // namespace zentor::gui
