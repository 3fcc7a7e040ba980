// The card on the bench fixture, as a file names it, for runs from outside the process: an
// end-to-end run swaps a faulty card in by writing the file that KZB_SIMCARD_FIXTURE names,
// and takes it out again by emptying it. Each Initial (the card being opened) reads it anew:
// the card starts from its power-on tones, then each line
//   tone CHANNEL HZ VOLTS NOISE SECOND THIRD
// sets a channel's tone as SimCard_SetTone does, and
//   pace FACTOR
// runs the card's clock FACTOR times faster (1 to 1000), so that a recording of hours of
// card time takes minutes; its queue then holds FACTOR times the blocks, the same seconds.
// Pulses are added to a channel's signal (times in seconds of card time from the start, the
// edge's middle at AT, EDGE the edge's length, 0 when left out):
//   pulse CHANNEL AT VOLTS WIDTH [EDGE]
//   step CHANNEL AT VOLTS [EDGE]
//   burst CHANNEL AT VOLTS WIDTH COUNT PERIOD [EDGE]
//   pulses COUNT SEED FROM TO VOLTS WIDTH [EDGE]      random channels and times, as RandomPulses
// Without the variable nothing changes.
#pragma once

#include <string>
#include <vector>

#include "SignalGenerator.h"

namespace simcard {

// The tones after the file's lines; lines it cannot read are skipped.
std::vector<Tone> FixtureTones(const std::string& text);
// The clock's pace the file's last pace line sets (1 without one).
double FixturePace(const std::string& text);
// The pulses of the file's lines, in their order; lines it cannot read are skipped.
std::vector<Pulse> FixturePulses(const std::string& text);
// Replaces `tones`, `pace` and `pulses` when the variable names a file; returns whether it did.
bool ApplyFixtureFile(std::vector<Tone>& tones, double& pace, std::vector<Pulse>& pulses);
// Sets a channel's tone, replacing the one it had; `hz` 0 takes it away.
void SetTone(std::vector<Tone>& tones, const Tone& tone);

}  // namespace simcard
