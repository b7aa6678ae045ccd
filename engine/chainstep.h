#pragma once

#include "engine/testoutcome.h"

class serialclass;

// One step of a test chain: what the window shows before the test, the test
// itself, and the facts the test's outcome starts with. A step may restate
// kind, protocol and setting once it knows what answered; the result line
// names what the outcome holds at its end.
struct ChainStep
{
    const char *statusText;
    const char *heading;
    bool (*run)(serialclass &worker, const StartRequest &request);
    int number; // the test of the chain this step stands for
    TestKind kind;
    Protocol protocol;
    PortSetting setting;
};

constexpr PortSetting k9600_8N1{9600, 8, Parity::None};
constexpr PortSetting k9600_7E1{9600, 7, Parity::Even};
constexpr PortSetting k9600_8E1{9600, 8, Parity::Even};
constexpr PortSetting k300_7E1{300, 7, Parity::Even};

// A chain and where a start request enters it.
struct ChainRun
{
    const ChainStep *steps = nullptr;
    int length = 0;
    int first = 0;
    bool goOn = false; // go on after a failed step
};
