// zentor-cli ports: the COM names of the scan, one a line, in increasing order.
// With --verbose each name is followed by what the system tells about its port
// (device, by-id and by-path names, USB ids, manufacturer, product, serial number
// and its usb: name), one "label: value" line each, indented by two spaces. The
// scan probes each name once and the lookup only reads; nothing waits. Exit 0.
#pragma once

#include "serial/port.h"
#include "serial/port_lookup.h"

namespace zentor {

int RunPortsCommand(PortOpener& opener, PortLookup& lookup, bool verbose);

}  // namespace zentor
