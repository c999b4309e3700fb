// The seam's real side: each call is one libftdi1 call, and libftdi's overloaded error codes
// are sorted into what the backend tells apart (missing, no permission, claimed elsewhere,
// unplugged, other), with libftdi's own words kept.

#include <ftdi.h>
#include <libusb.h>

#include <cstring>

#include "ftdi/ftdi_port.h"

namespace tonvisor::ftdi {

namespace {

// libftdi's "USB device unavailable": the context has no device (any more).
constexpr int kUnavailable = -666;
// Transfers give up after this; libftdi's own default is 5 s.
constexpr int kUsbTimeoutMs = 1000;

std::string errorText(ftdi_context* context) {
  const char* text = context != nullptr ? ftdi_get_error_string(context) : nullptr;
  return text != nullptr ? text : "";
}

bool matches(libusb_device* device) {
  libusb_device_descriptor descriptor{};
  return libusb_get_device_descriptor(device, &descriptor) == 0 && descriptor.idVendor == kVendorId &&
         descriptor.idProduct == kFt2232hProductId;
}

// libftdi reports a failed libusb_open without libusb's reason; trying it again tells
// a permission problem from the rest.
PortError whyOpenFails(libusb_context* usb, libusb_device* only) {
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(usb, &devices);
  PortError error = PortError::Io;
  for (ssize_t i = 0; i < count; ++i) {
    if ((only != nullptr && devices[i] != only) || !matches(devices[i])) continue;
    libusb_device_handle* handle = nullptr;
    const int opened = libusb_open(devices[i], &handle);
    if (opened == 0) {
      libusb_close(handle);
    } else if (opened == LIBUSB_ERROR_ACCESS) {
      error = PortError::PermissionDenied;
      break;
    } else if (opened == LIBUSB_ERROR_BUSY) {
      error = PortError::Busy;
    } else if (opened == LIBUSB_ERROR_NO_DEVICE && error == PortError::Io) {
      error = PortError::NotFound;
    }
  }
  if (count >= 0) libusb_free_device_list(devices, 1);
  return error;
}

class LibFtdiPort final : public FtdiPort {
 public:
  ~LibFtdiPort() override { close(); }

  PortStatus open(const DeviceSelector& device, Channel channel) override {
    close();
    m_context = ftdi_new();
    if (m_context == nullptr) return PortStatus::Fail(PortError::Io, "libftdi could not start (ftdi_new failed)");
    ftdi_set_interface(m_context, channel == Channel::A ? INTERFACE_A : INTERFACE_B);
    // The kernel's serial driver (ftdi_sio) is detached from the channel before it is
    // claimed; libftdi does that by default, and this says so.
    m_context->module_detach_mode = AUTO_DETACH_SIO_MODULE;
    const PortStatus opened = openAt(device.bus, device.address);
    if (!opened.ok()) {
      ftdi_free(m_context);
      m_context = nullptr;
      return opened;
    }
    m_context->usb_read_timeout = kUsbTimeoutMs;
    m_context->usb_write_timeout = kUsbTimeoutMs;
    return {};
  }

  void close() override {
    if (m_context == nullptr) return;
    ftdi_usb_close(m_context);
    ftdi_free(m_context);
    m_context = nullptr;
  }

  PortStatus reset() override { return check(m_context ? ftdi_usb_reset(m_context) : kUnavailable); }
  PortStatus purge() override { return check(m_context ? ftdi_tcioflush(m_context) : kUnavailable); }
  PortStatus setLatencyTimer(std::uint8_t milliseconds) override {
    return check(m_context ? ftdi_set_latency_timer(m_context, milliseconds) : kUnavailable);
  }
  PortStatus setBitmode(std::uint8_t mask, std::uint8_t mode) override {
    return check(m_context ? ftdi_set_bitmode(m_context, mask, mode) : kUnavailable);
  }
  PortStatus readPins(std::uint8_t& pins) override {
    unsigned char byte = 0;
    const PortStatus status = check(m_context ? ftdi_read_pins(m_context, &byte) : kUnavailable);
    if (status.ok()) pins = byte;
    return status;
  }

  PortStatus write(std::span<const std::uint8_t> bytes) override {
    if (m_context == nullptr) return check(kUnavailable);
    const int size = static_cast<int>(bytes.size());
    const int written = ftdi_write_data(m_context, bytes.data(), size);
    if (written < 0) return check(written);
    if (written != size) {
      return PortStatus::Fail(PortError::Io, "wrote " + std::to_string(written) + " of " + std::to_string(size) + " bytes");
    }
    return {};
  }

  PortStatus read(std::span<std::uint8_t> into, std::size_t& received) override {
    received = 0;
    if (m_context == nullptr) return check(kUnavailable);
    const int got = ftdi_read_data(m_context, into.data(), static_cast<int>(into.size()));
    if (got < 0) return check(got);
    received = static_cast<std::size_t>(got);
    return {};
  }

 private:
  // The bridge at this bus and address, as listed; gone from there is not found (unplugged,
  // or plugged in again under a new address since the list was made).
  PortStatus openAt(std::uint8_t bus, std::uint8_t address) {
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(m_context->usb_ctx, &devices);
    if (count < 0) return PortStatus::Fail(PortError::Io, libusb_error_name(static_cast<int>(count)));
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count && found == nullptr; ++i) {
      if (libusb_get_bus_number(devices[i]) == bus && libusb_get_device_address(devices[i]) == address &&
          matches(devices[i])) {
        found = devices[i];
      }
    }
    PortStatus status = PortStatus::Fail(PortError::NotFound, "device not found");
    if (found != nullptr) {
      const int opened = ftdi_usb_open_dev(m_context, found);
      status = opened < 0 ? classifyOpen(opened, found) : PortStatus{};
    }
    libusb_free_device_list(devices, 1);
    return status;
  }

  // ftdi_usb_open_dev's codes: -4 the device would not open, -5 and -11 another driver or
  // program holds the channel.
  PortStatus classifyOpen(int code, libusb_device* device) {
    const std::string text = errorText(m_context);
    if (text.find("permission") != std::string::npos) return PortStatus::Fail(PortError::PermissionDenied, text);
    if (code == -5 || code == -11 || text.find("claim") != std::string::npos) {
      return PortStatus::Fail(PortError::Busy, text);
    }
    if (code == -4) return PortStatus::Fail(whyOpenFails(m_context->usb_ctx, device), text);
    return PortStatus::Fail(PortError::Io, text);
  }

  // A failed transfer: gone when the device is no longer on the bus, otherwise an I/O error.
  PortStatus check(int code) {
    if (code >= 0) return {};
    const std::string text = code == kUnavailable && m_context == nullptr ? "USB device unavailable" : errorText(m_context);
    if (code == kUnavailable || code == LIBUSB_ERROR_NO_DEVICE || !stillPlugged()) {
      return PortStatus::Fail(PortError::Gone, text);
    }
    return PortStatus::Fail(PortError::Io, text);
  }

  bool stillPlugged() {
    if (m_context == nullptr || m_context->usb_dev == nullptr) return false;
    libusb_device* mine = libusb_get_device(m_context->usb_dev);
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(m_context->usb_ctx, &devices);
    bool found = false;
    for (ssize_t i = 0; i < count && !found; ++i) {
      found = libusb_get_bus_number(devices[i]) == libusb_get_bus_number(mine) &&
              libusb_get_device_address(devices[i]) == libusb_get_device_address(mine);
    }
    if (count >= 0) libusb_free_device_list(devices, 1);
    return found;
  }

  ftdi_context* m_context = nullptr;
};

class LibFtdiUsb final : public FtdiUsb {
 public:
  PortStatus list(std::vector<DeviceInfo>& devices) override {
    devices.clear();
    ftdi_context* context = ftdi_new();
    if (context == nullptr) return PortStatus::Fail(PortError::Io, "libftdi could not start (ftdi_new failed)");
    ftdi_device_list* found = nullptr;
    const int count = ftdi_usb_find_all(context, &found, kVendorId, kFt2232hProductId);
    if (count < 0) {
      const PortStatus failed = PortStatus::Fail(PortError::Io, errorText(context));
      ftdi_free(context);
      return failed;
    }
    int index = 0;
    for (ftdi_device_list* entry = found; entry != nullptr; entry = entry->next) {
      DeviceInfo info;
      info.index = index++;
      info.bus = libusb_get_bus_number(entry->dev);
      info.address = libusb_get_device_address(entry->dev);
      char manufacturer[128] = {};
      char description[128] = {};
      char serial[128] = {};
      // A blank EEPROM gives no serial string; the other two still name the bridge.
      bool named = ftdi_usb_get_strings(context, entry->dev, manufacturer, sizeof manufacturer, description,
                                        sizeof description, serial, sizeof serial) == 0;
      if (!named) {
        serial[0] = '\0';
        named = ftdi_usb_get_strings(context, entry->dev, manufacturer, sizeof manufacturer, description,
                                     sizeof description, nullptr, 0) == 0;
      }
      if (named) {
        info.manufacturer = manufacturer;
        info.description = description;
        info.serial = serial;
      } else if (whyOpenFails(context->usb_ctx, entry->dev) == PortError::PermissionDenied) {
        info.problem = "no permission to open it";
      } else {
        info.problem = errorText(context);
      }
      devices.push_back(std::move(info));
    }
    ftdi_list_free(&found);
    ftdi_free(context);
    return {};
  }

  std::unique_ptr<FtdiPort> makePort() override { return std::make_unique<LibFtdiPort>(); }
};

}  // namespace

std::unique_ptr<FtdiUsb> MakeLibFtdiUsb() { return std::make_unique<LibFtdiUsb>(); }

}  // namespace tonvisor::ftdi
