// The port lists of the window and the settings dialog. Each COM name of the scan
// is an entry whose tooltip tells what the system knows of its port (device,
// by-id and by-path names, USB adapter). After a port whose USB adapter has a
// serial number that no other listed port shares comes its "usb:SERIAL" entry, a
// choice that stays with the adapter when its COM number changes; a stable name
// to keep (the configured or remembered one) that leads to a listed port comes
// after that port. Every entry's data (Qt::UserRole) is the COM name of its port.
// The drop-down is as wide as its longest entry; the list itself
// keeps its width. Blocks for the scan (each name probed once) and the lookup.
#pragma once

#include <QComboBox>
#include <QString>

#include "serial/port.h"
#include "serial/port_lookup.h"

namespace zentor::gui {

// Refills `list`; selects nothing.
void FillPortList(QComboBox* list, PortOpener& opener, PortLookup& lookup,
                  const QString& keep = {});
// Scans again and refills `list` only when its entries changed, without signals:
// the chosen entry stays chosen, listed under its own name (and its port) when
// the scan no longer finds it. True when the list changed.
bool RefreshPortList(QComboBox* list, PortOpener& opener, PortLookup& lookup);

}  // namespace zentor::gui
