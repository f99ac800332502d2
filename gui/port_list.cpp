#include "port_list.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>
#include <optional>
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

// One entry of a list: its text, its port's COM name and its tooltip.
struct Entry {
    QString text;
    QString port;
    QString tip;
    bool operator==(const Entry&) const = default;
};

void Add(std::vector<Entry>& entries, const std::string& text, const DescribedPort& port,
         const QString& tip) {
    entries.push_back({QString::fromStdString(text), QString::fromStdString(port.name), tip});
}

std::vector<Entry> ScanEntries(PortOpener& opener, PortLookup& lookup, const QString& keep) {
    std::vector<Entry> entries;
    const std::vector<DescribedPort> ports = DescribePorts(lookup, ScanComPorts(opener));
    const std::string kept = keep.toStdString();
    // Where the name to keep leads, when it is a stable name.
    std::string keptDevice;
    if (IsStableName(kept)) {
        if (const std::optional<PortDetails> d = lookup.Describe(kept)) keptDevice = d->device;
    }
    for (const DescribedPort& port : ports) {
        Add(entries, port.name, port, Lines(PortDetailLines(port)));
        if (!port.usbName.empty()) Add(entries, port.usbName, port, StableTip(port));
        if (!keptDevice.empty() && kept != port.usbName && port.details &&
            port.details->device == keptDevice)
            Add(entries, kept, port, StableTip(port));
    }
    return entries;
}

std::vector<Entry> ListEntries(const QComboBox* list) {
    std::vector<Entry> entries;
    for (int i = 0; i < list->count(); ++i) {
        entries.push_back({list->itemText(i), list->itemData(i).toString(),
                           list->itemData(i, Qt::ToolTipRole).toString()});
    }
    return entries;
}

void Show(QComboBox* list, const std::vector<Entry>& entries) {
    list->clear();
    for (const Entry& e : entries) {
        list->addItem(e.text, e.port);
        if (!e.tip.isEmpty()) list->setItemData(list->count() - 1, e.tip, Qt::ToolTipRole);
    }
    int widest = 0;
    const QFontMetrics metrics(list->view()->font());
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(list->itemText(i)));
    list->view()->setMinimumWidth(std::max(list->width(), widest + 32));
}

}  // namespace

void FillPortList(QComboBox* list, PortOpener& opener, PortLookup& lookup, const QString& keep) {
    Show(list, ScanEntries(opener, lookup, keep));
}

bool RefreshPortList(QComboBox* list, PortOpener& opener, PortLookup& lookup) {
    const int chosen = list->currentIndex();
    std::vector<Entry> entries = ScanEntries(opener, lookup, list->currentText());
    std::optional<std::size_t> keepAt;
    if (chosen >= 0) {
        const Entry current{list->itemText(chosen), list->itemData(chosen).toString(),
                            list->itemData(chosen, Qt::ToolTipRole).toString()};
        const auto same = std::find_if(entries.begin(), entries.end(),
                                       [&](const Entry& e) { return e.text == current.text; });
        if (same == entries.end()) {
            // Its port is gone: the choice stays, under its own name.
            entries.push_back({current.text, current.port, {}});
            keepAt = entries.size() - 1;
        } else {
            keepAt = static_cast<std::size_t>(same - entries.begin());
        }
    }
    if (entries == ListEntries(list)) return false;
    const QSignalBlocker quiet(list);
    Show(list, entries);
    list->setCurrentIndex(keepAt ? static_cast<int>(*keepAt) : -1);
    return true;
}

}  // namespace zentor::gui
