#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "support/tapped_bridge.h"
#include "support/recording_messenger.h"
#include "support/write_log_text.h"

namespace tonvisor::testing {

// A codec on the simulated chip, over I2C unless a test switches the link.
struct CodecOnChip : ::testing::Test {
  CodecOnChip() { EXPECT_EQ(link.i2c().I2cOpen(ChipModel::kI2cDeviceAddress), status::kOk); }

  void useSpi() {
    link.settings().connectionType = "SPI";
    ASSERT_EQ(link.spi().SpiOpen(), status::kOk);
  }
  std::vector<std::string> log() { return LogLines(link.writeLog()); }

  ChipModel chip;
  TappedBridge bridge{chip};
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  CodecOperations codec{link};
};

}  // namespace tonvisor::testing
