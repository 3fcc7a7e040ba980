#include "StartStop.h"

#include <algorithm>
#include <new>

#include "DllDef.h"
#include "NumberForms.h"
#include "NumericReading.h"

namespace acquisition {

std::optional<int16_t> ReadSaveSetting(std::string_view text, int16_t min, int16_t max) {
  auto value = numtext::RoundToInt16(numtext::NumericValue(text));
  if (!value) return std::nullopt;
  return std::clamp(*value, min, max);
}

base::Result<StartOutcome> StartAcquisition(DllDef& dll) {
  dll.IntrArg1 = 10;
  dll.PointsPerChannel = 300;
  dll.IntrArg3 = 0;
  dll.ChannelCount = kStartChannels;
  dll.IntrArg5 = kStartSampleRateHz;
  dll.IntrArg6 = 0;
  dll.IntrArg7 = 1;

  return card::Attempt(dll.library(), [&]() -> base::Result<StartOutcome> {
    dll.StopIntr();
    if (dll.Initial(0, 0, 0, 0) == 0) return StartOutcome{false, dll.GetLastADError()};

    const size_t blockCells = static_cast<size_t>(dll.ChannelCount) * dll.PointsPerChannel;
    try {
      dll.BlockData.assign(blockCells + 2, 0);
      dll.RingData.assign(blockCells * dll.RingBlockCount + 1, 0);
    } catch (const std::bad_alloc& e) {
      return base::Failure{base::Failure::Kind::OutOfMemory, "block buffers", e.what()};
    }

    if (dll.StartIntr(dll.IntrArg1, dll.PointsPerChannel, dll.IntrArg3, dll.ChannelCount,
                      dll.IntrArg5, dll.IntrArg6, dll.IntrArg7) == 0) {
      return StartOutcome{false, dll.GetLastADError()};
    }
    return StartOutcome{true, 0};
  });
}

base::Result<> StopAcquisition(DllDef& dll) {
  return card::Attempt(dll.library(), [&] { dll.StopIntr(); });
}

std::string RefusalText(int32_t errorNumber) {
  return "Error=" + numtext::PlainDecimal(errorNumber);
}

double BlockPeriodSeconds(const DllDef& dll) {
  if (dll.IntrArg5 <= 0) return 0;
  return static_cast<double>(dll.ChannelCount) * dll.PointsPerChannel / dll.IntrArg5;
}

bool BuffersReady(const DllDef& dll) {
  const size_t blockCells = static_cast<size_t>(dll.ChannelCount) * dll.PointsPerChannel;
  return blockCells > 0 && dll.RingBlockCount > 0 && dll.BlockData.size() == blockCells + 2 &&
         dll.RingData.size() == blockCells * dll.RingBlockCount + 1;
}

}  // namespace acquisition
