#pragma once

#include "platform/platform.h"

// The about box (template 105): the about text, one line per centred static.
class AboutBox : public platform::DialogHandler {
public:
    ~AboutBox() override;

    bool onInitDialog(platform::DialogView& view) override;
    bool onCommand(platform::DialogView& view, int id) override;
};
