#include "ui/about_box.h"

#include "data/text_tables.h"

AboutBox::~AboutBox() = default;

bool AboutBox::onInitDialog(platform::DialogView& view)
{
    view.setCaption(getText("about"));
    const std::vector<std::string>& lines = aboutLines();
    for (int k = 0; k < dialog_id::kAboutLineControls; ++k) {
        const size_t line = static_cast<size_t>(k);
        view.setText(dialog_id::kAboutFirstLine + k, line < lines.size() ? lines[line] : std::string());
    }
    return true;
}

bool AboutBox::onCommand(platform::DialogView& view, int id)
{
    if (id != dialog_id::kOk && id != dialog_id::kCancel)
        return false;
    view.endDialog(id);
    return true;
}
