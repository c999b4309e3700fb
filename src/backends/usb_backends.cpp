#include "backends/usb_backends.h"

#include <vector>

#include "ftdi/ftdi_bridge.h"
#include "sim/simulated_bridge.h"

namespace tonvisor {

namespace {

// The USB bus the request names, or libftdi's (kept in the backend).
ftdi::FtdiUsb& usbOf(const BackendRequest& request, UsbBackend& backend) {
  if (request.usb != nullptr) return *request.usb;
  if (!backend.usb) backend.usb = ftdi::MakeLibFtdiUsb();
  return *backend.usb;
}

bool simulated(const BackendRequest& request, UsbBackend&) { return request.simulate; }

bool usbReadable(const BackendRequest& request, UsbBackend& backend) {
  std::vector<ftdi::DeviceInfo> devices;
  const ftdi::PortStatus listed = usbOf(request, backend).list(devices);
  if (!listed.ok()) backend.note = "the USB bus cannot be read (" + listed.text + ")";
  return listed.ok();
}

bool always(const BackendRequest&, UsbBackend&) { return true; }

void makeSimulated(const BackendRequest& request, UsbBackend& backend) {
  ChipModel* chip = request.simulatedChip;
  if (chip == nullptr) {
    backend.chip = std::make_unique<ChipModel>(ChipModel::Behaviour::Chip);
    chip = backend.chip.get();
  }
  backend.bridge = std::make_unique<SimulatedBridge>(*chip);
}

void makeFtdi(const BackendRequest& request, UsbBackend& backend) {
  backend.bridge = std::make_unique<FtdiBridge>(usbOf(request, backend), request.device);
}

void makeNone(const BackendRequest&, UsbBackend& backend) {
  backend.usb.reset();
  backend.bridge = MakeAbsentBridge();
}

struct BackendRow {
  const char* name;
  bool (*applies)(const BackendRequest&, UsbBackend&);
  void (*make)(const BackendRequest&, UsbBackend&);
};

constexpr BackendRow kBackends[] = {
    {"sim", simulated, makeSimulated},
    {"ftdi", usbReadable, makeFtdi},
    {"none", always, makeNone},
};

}  // namespace

UsbBackend ChooseUsbBackend(const BackendRequest& request) {
  UsbBackend backend;
  for (const BackendRow& row : kBackends) {
    if (!row.applies(request, backend)) continue;
    backend.name = row.name;
    row.make(request, backend);
    break;
  }
  return backend;
}

}  // namespace tonvisor
