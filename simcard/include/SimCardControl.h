// Control entry points of the simulated card: tests and demonstrations script the card
// through these, beside the card maker's entry points that the program itself calls.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Back to the power-on state: real-time clock, default identity and signals, nothing
// scripted, outputs 0, inputs looped back from the outputs, call log empty.
void SimCard_Reset(void);

// With the manual clock on, time moves only through SimCard_AdvanceMs (and a delayed
// QueryBuf). The card's time, in microseconds: what a test stamps its polls with.
void SimCard_SetManualClock(int32_t on);
void SimCard_AdvanceMs(int32_t ms);
int64_t SimCard_NowMicros(void);

// The five reply bytes of the next identity requests.
void SimCard_SetIdentity(const uint8_t bytes[5]);

// The next call of "Initial" or "StartIntr" returns 0; GetLastADError then returns errorNumber.
void SimCard_FailNext(const char* entryPoint, int32_t errorNumber);

// The next QueryBuf call returns count, whatever the state. Calls queue up in order.
void SimCard_ScriptQuery(int16_t count);

// Queues one ADResult call: it returns status and, when cells is not null, writes the 19200
// cells into elements 1..19200 of the caller's buffer. Served before paced blocks.
void SimCard_ScriptFetch(int32_t status, const int16_t* cells);

// Fixes the two input words (the loopback ends until SimCard_Reset).
void SimCard_SetInputs(int16_t word0, int16_t word1);
// When on, Kzb_DI writes nothing.
void SimCard_SetInputsSilent(int32_t on);

// How often an entry point was called since the reset, and the arguments of its last call
// (16-bit arguments sign-extended, an address as 1, or 0 when it was null).
int32_t SimCard_CallCount(const char* entryPoint);
void SimCard_LastArgs(const char* entryPoint, int32_t args[8]);

// Finished blocks dropped because nobody fetched them in time, since the last start.
int32_t SimCard_OverrunCount(void);

// A program that falls behind, as the card sees it: for the next ms of card time QueryBuf
// reports no block while blocks go on finishing, so the queue fills and drops the oldest.
void SimCard_StallQueries(int32_t ms);

// A card on a slow bus (USB): each QueryBuf takes `ms` plus up to `jitterMs` more to answer,
// in card time, and the count it gives is the one at a random moment within. 0, 0: at once.
void SimCard_DelayQueries(int32_t ms, int32_t jitterMs);

// A test tone on `channel` (0-based) from the next block on: a sine of `hz` and peak
// `amplitudeVolts`, white noise of `noiseCodes` RMS, and 2nd and 3rd harmonics `secondDbc`
// and `thirdDbc` dB below it (-200 for none). `hz` 0 takes the channel's tone away. The card
// powers on with one: 40 Hz, 4 V on channel 63, noise 1 code, harmonics -90 and -96 dBc.
void SimCard_SetTone(int32_t channel, double hz, double amplitudeVolts, double noiseCodes,
                     double secondDbc, double thirdDbc);

// Pulses added to `channel` (0-based) from the next block on: `count` of them (a burst when
// more than 1) `periodSeconds` apart, each rising by `volts` in a straight edge of
// `edgeSeconds` whose middle is at `atSeconds` of card time from the start, and falling back
// `widthSeconds` later; a width of 0 is a step that stays. SimCard_Reset takes them away.
void SimCard_AddPulses(int32_t channel, double atSeconds, double volts, double widthSeconds,
                       double edgeSeconds, int32_t count, double periodSeconds);
// `count` pulses on random channels at random times from `seed`, one in each of `count`
// equal slots of fromSeconds..toSeconds; SimCard_PulseAt tells where each went.
void SimCard_AddRandomPulses(int32_t count, uint32_t seed, double fromSeconds, double toSeconds,
                             double volts, double widthSeconds, double edgeSeconds);
// How many pulse entries the card holds (a burst is one), and entry `index`'s channel and
// time (both left alone when there is no such entry).
int32_t SimCard_PulseCount(void);
void SimCard_PulseAt(int32_t index, int32_t* channel, double* atSeconds);

#ifdef __cplusplus
}
#endif
