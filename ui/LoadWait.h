// What the program does while a load waits for the network: its windows stay painted, the
// status bar says what it waits for, and Esc stops the load. Other input is dropped, as
// under a modal box: a click meant for the half-built tree must not reach it.
#pragma once

#include <windows.h>

#include <string>

#include "model/NetworkReader.h"

class LoadWait : public NetworkWaiter {
public:
    bool keepWaiting(const wchar_t* url) override;
    bool cancelled() const { return cancelled_; }

    // Whether message is the user's input (keys and the mouse, in the client and the frame).
    static bool isUserInput(UINT message);

private:
    // Dispatches the thread's waiting messages but the user's input; true once Esc came.
    bool pumpMessages();

    std::wstring shown_;
    bool cancelled_ = false;
};
