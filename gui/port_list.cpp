#include "port_list.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QStringList>
#include <algorithm>
#include <string>
#include <vector>

#include "serial/system_port.h"

namespace zentor::gui {

namespace {

QString Lines(const std::vector<std::string>& lines) {
    QStringList texts;
    for (const std::string& line : lines) texts << QString::fromStdString(line);
    return texts.join(QLatin1Char('\n'));
}

// The tooltip of a stable name: the port it leads to now, then the port's details.
QString StableTip(const DescribedPort& port) {
    std::vector<std::string> lines = {"сейчас: " + port.name};
    for (std::string& line : PortDetailLines(port)) lines.push_back(std::move(line));
    return Lines(lines);
}

void Add(QComboBox* list, const std::string& text, const DescribedPort& port, const QString& tip) {
    list->addItem(QString::fromStdString(text), QString::fromStdString(port.name));
    if (!tip.isEmpty()) list->setItemData(list->count() - 1, tip, Qt::ToolTipRole);
}

}  // namespace

void FillPortList(QComboBox* list, PortOpener& opener, PortLookup& lookup, const QString& keep) {
    list->clear();
    const std::vector<DescribedPort> ports = DescribePorts(lookup, ScanComPorts(opener));
    const std::string kept = keep.toStdString();
    // Where the name to keep leads, when it is a stable name.
    std::string keptDevice;
    if (IsStableName(kept)) {
        if (const std::optional<PortDetails> d = lookup.Describe(kept)) keptDevice = d->device;
    }
    for (const DescribedPort& port : ports) {
        Add(list, port.name, port, Lines(PortDetailLines(port)));
        if (!port.usbName.empty()) Add(list, port.usbName, port, StableTip(port));
        if (!keptDevice.empty() && kept != port.usbName && port.details &&
            port.details->device == keptDevice)
            Add(list, kept, port, StableTip(port));
    }
    int widest = 0;
    const QFontMetrics metrics(list->view()->font());
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(list->itemText(i)));
    list->view()->setMinimumWidth(std::max(list->width(), widest + 32));
}

}  // namespace zentor::gui
