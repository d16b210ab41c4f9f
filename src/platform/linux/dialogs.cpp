// The modal dialogs in GTK3: templates 101 (settings) and 105 (about) laid out with GTK's boxes
// and grids in the templates' arrangement, every control reachable by its template id.
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/bitmap_file.h"
#include "platform/linux/linux_internal.h"
#include "platform/mnemonics.h"
#include "platform/platform.h"

namespace platform {

namespace {

using namespace dialog_id;

bool gtkReady()
{
    static const bool ready = [] {
        const char* display = std::getenv("DISPLAY");
        // On a Wayland desktop GTK would pick Wayland, where the X selection that keeps a second
        // dialog from opening, and the X window handed over with /c:HANDLE, do not reach.
        gdk_set_allowed_backends("x11");
        if (!display || !*display || !gtk_init_check(nullptr, nullptr))
            return false;
        // A click in a slider's channel moves it one page, as the page sizes say, instead of
        // warping it to the pointer.
        g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
        return true;
    }();
    return ready;
}

// Opens the address in the desktop's browser the GTK way, which launches and reaps the browser
// itself; failures are not reported.
void showWebAddress(GtkWindow* parent, const std::string& url)
{
    if (gtkReady())
        gtk_show_uri_on_window(parent, url.c_str(), GDK_CURRENT_TIME, nullptr);
}

// The tables are byte text: UTF-8 passes, anything else is read as the Cyrillic code page the
// tables were first written in.
std::string utf8(const std::string& text)
{
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return text;
    gsize written = 0;
    gchar* converted =
        g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", "CP1251", nullptr, &written, nullptr);
    if (!converted)
        return std::string(text.size(), '?');
    std::string out(converted, written);
    g_free(converted);
    return out;
}

std::vector<uint8_t> gIcon;

// Any image format the loader knows, by its content.
GdkPixbuf* loadImage(const std::vector<uint8_t>& file)
{
    if (file.empty())
        return nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pixbuf = nullptr;
    if (gdk_pixbuf_loader_write(loader, file.data(), file.size(), nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pixbuf)
            g_object_ref(pixbuf);
    } else {
        gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
    return pixbuf;
}

GdkPixbuf* loadPicture(std::span<const uint8_t> image) { return loadImage(asBmpFile(image)); }

int sliderCode(GtkScrollType scroll)
{
    switch (scroll) {
    case GTK_SCROLL_STEP_BACKWARD:
    case GTK_SCROLL_STEP_LEFT:
    case GTK_SCROLL_STEP_UP:
        return kSliderLineUp;
    case GTK_SCROLL_STEP_FORWARD:
    case GTK_SCROLL_STEP_RIGHT:
    case GTK_SCROLL_STEP_DOWN:
        return kSliderLineDown;
    case GTK_SCROLL_PAGE_BACKWARD:
    case GTK_SCROLL_PAGE_LEFT:
    case GTK_SCROLL_PAGE_UP:
        return kSliderPageUp;
    case GTK_SCROLL_PAGE_FORWARD:
    case GTK_SCROLL_PAGE_RIGHT:
    case GTK_SCROLL_PAGE_DOWN:
        return kSliderPageDown;
    case GTK_SCROLL_START:
        return kSliderTop;
    case GTK_SCROLL_END:
        return kSliderBottom;
    default:
        return kSliderThumbTrack;
    }
}

enum class Kind { Button, Check, Radio, Combo, Slider, Label, Group, Mark };

struct Control {
    Kind kind;
    GtkWidget* widget;
    GtkWidget* mnemonicTarget = nullptr;  // labels and group titles that give a control its key
};

class GtkDialogView final : public DialogView {
public:
    GtkDialogView(int templateId, DialogHandler& handler, GtkWindow* parent, uintptr_t foreignOwner);
    ~GtkDialogView() override;

    // `onlyOne`: when another process of the user shows this dialog already, raise that one and
    // end at once as Cancel would.
    int run(bool onlyOne = false);

    void setCaption(const std::string& text) override;
    void setText(int id, const std::string& text) override;
    void setChecked(int id, bool checked) override;
    bool isChecked(int id) const override;
    void setEnabled(int id, bool enabled) override;
    void comboReset(int id) override;
    void comboAdd(int id, const std::string& text) override;
    void comboSelect(int id, int index) override;
    int comboSelection(int id) const override;
    void sliderSetRange(int id, int min, int max) override;
    void sliderSetPosition(int id, int position) override;
    void sliderSetPage(int id, int page) override;
    int sliderPosition(int id) const override;
    // The box layout already puts the button row under the last group and sizes the window to fit,
    // so the template's free band never exists here.
    void moveControl(int, int, int) override {}
    void resizeDialog(int, int) override {}
    void setVisible(bool visible) override { visible_ = visible; }
    void setPicture(std::span<const uint8_t> image) override;
    void endDialog(int result) override;
    int runChildDialog(int templateId, DialogHandler& handler) override;
    void openWebAddress(const std::string& url) override { showWebAddress(GTK_WINDOW(dialog_), url); }
    void showError(const std::string& text) override;

private:
    // Changes the view makes itself must not reach the handler as if the user had made them.
    struct Quiet {
        explicit Quiet(int& depth) : depth_(depth) { ++depth_; }
        ~Quiet() { --depth_; }
        int& depth_;
    };

    const Control* find(int id, Kind kind) const;
    GtkWidget* add(int id, Kind kind, GtkWidget* widget, GtkWidget* mnemonicTarget = nullptr);
    GtkWidget* check(int id);
    GtkWidget* pushButton(int id);
    GtkWidget* slider(int id, bool marks);
    GtkWidget* group(int id, GtkWidget* child, GtkWidget* mnemonicTarget);
    GtkWidget* labelledSlider(int labelId, int sliderId, int labelChars, int checkId);
    void buildSettings();
    void buildAbout();
    void updateMarks();
    void command(int id);
    bool raiseOpenDialog();

    static void onToggled(GtkToggleButton* button, gpointer self);
    static void onClicked(GtkButton* button, gpointer self);
    static gboolean onChangeValue(GtkRange* range, GtkScrollType scroll, gdouble value, gpointer self);
    static void onValueChanged(GtkRange* range, gpointer self);
    static void onResponse(GtkDialog* dialog, gint response, gpointer self);
    static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean onStop(gpointer self);

    DialogHandler& handler_;
    GtkWidget* dialog_ = nullptr;
    GtkWidget* pictureFrame_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GMainLoop* nested_ = nullptr;  // the error box's while it shows
    uintptr_t foreignOwner_ = 0;
    std::map<int, Control> controls_;
    MnemonicPicker mnemonics_;
    std::string marks_[3];
    int quiet_ = 0;
    int lastSliderCode_ = kSliderThumbTrack;
    int result_ = -1;
    bool ended_ = false;
    bool visible_ = true;
};

GtkDialogView::GtkDialogView(int templateId, DialogHandler& handler, GtkWindow* parent, uintptr_t foreignOwner)
    : handler_(handler), foreignOwner_(foreignOwner)
{
    // Buttons along the bottom as the templates have them, whatever the desktop prefers for dialogs.
    dialog_ = GTK_WIDGET(g_object_new(GTK_TYPE_DIALOG, "use-header-bar", FALSE, nullptr));
    g_object_ref_sink(dialog_);
    gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);
    if (parent) {
        gtk_window_set_transient_for(GTK_WINDOW(dialog_), parent);
        gtk_window_set_position(GTK_WINDOW(dialog_), GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(GTK_WINDOW(dialog_), GTK_WIN_POS_CENTER);
    }
    g_signal_connect(dialog_, "response", G_CALLBACK(onResponse), this);
    g_signal_connect(dialog_, "delete-event", G_CALLBACK(onDelete), this);
    if (GdkPixbuf* icon = loadImage(gIcon)) {
        gtk_window_set_icon(GTK_WINDOW(dialog_), icon);
        g_object_unref(icon);
    }
    mnemonics_.reserve(kOk, 'o');
    mnemonics_.reserve(kCancel, 'c');
    if (templateId == kSettingsDialogTemplate)
        buildSettings();
    else if (templateId == kAboutBoxTemplate)
        buildAbout();
}

GtkDialogView::~GtkDialogView()
{
    if (loop_)
        g_main_loop_unref(loop_);
    gtk_widget_destroy(dialog_);
    g_object_unref(dialog_);
}

const Control* GtkDialogView::find(int id, Kind kind) const
{
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.kind == kind ? &it->second : nullptr;
}

GtkWidget* GtkDialogView::add(int id, Kind kind, GtkWidget* widget, GtkWidget* mnemonicTarget)
{
    controls_[id] = {kind, widget, mnemonicTarget};
    return widget;
}

GtkWidget* GtkDialogView::check(int id)
{
    GtkWidget* box = gtk_check_button_new();
    gtk_button_set_use_underline(GTK_BUTTON(box), TRUE);
    g_object_set_data(G_OBJECT(box), "control-id", GINT_TO_POINTER(id));
    g_signal_connect(box, "toggled", G_CALLBACK(onToggled), this);
    return add(id, Kind::Check, box);
}

GtkWidget* GtkDialogView::pushButton(int id)
{
    GtkWidget* button = gtk_button_new();
    gtk_button_set_use_underline(GTK_BUTTON(button), TRUE);
    g_object_set_data(G_OBJECT(button), "control-id", GINT_TO_POINTER(id));
    g_signal_connect(button, "clicked", G_CALLBACK(onClicked), this);
    return add(id, Kind::Button, button);
}

GtkWidget* GtkDialogView::slider(int id, bool marks)
{
    GtkWidget* scale = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
    gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
    gtk_scale_set_digits(GTK_SCALE(scale), 0);
    gtk_range_set_round_digits(GTK_RANGE(scale), 0);
    gtk_widget_set_hexpand(scale, TRUE);
    gtk_widget_set_size_request(scale, 120, -1);
    if (!marks)
        gtk_widget_set_valign(scale, GTK_ALIGN_CENTER);
    g_object_set_data(G_OBJECT(scale), "control-id", GINT_TO_POINTER(id));
    g_signal_connect(scale, "change-value", G_CALLBACK(onChangeValue), this);
    g_signal_connect(scale, "value-changed", G_CALLBACK(onValueChanged), this);
    return add(id, Kind::Slider, scale);
}

// A titled group in the GNOME manner: bold title, contents indented under it, no border.

GtkWidget* GtkDialogView::labelledSlider(int labelId, int sliderId, int labelChars, int checkId)
{
    GtkWidget* box = gtk_grid_new();
    gtk_grid_set_column_spacing(GTK_GRID(box), 12);
    gtk_grid_set_row_spacing(GTK_GRID(box), 6);
    GtkWidget* range = slider(sliderId, false);
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_width_chars(GTK_LABEL(label), labelChars);
    add(labelId, Kind::Label, label, range);
    gtk_grid_attach(GTK_GRID(box), label, 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(box), range, 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(box), check(checkId), 0, 1, 2, 1);
    return box;
}

GtkWidget* GtkDialogView::group(int id, GtkWidget* child, GtkWidget* mnemonicTarget)
{
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_NONE);
    GtkWidget* title = gtk_label_new(nullptr);
    gtk_frame_set_label_widget(GTK_FRAME(frame), title);
    add(id, Kind::Group, title, mnemonicTarget);
    gtk_widget_set_margin_start(child, 12);
    gtk_widget_set_margin_top(child, 6);
    gtk_container_add(GTK_CONTAINER(frame), child);
    return frame;
}

void GtkDialogView::buildSettings()
{
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_column_spacing(GTK_GRID(grid), 18);
    gtk_grid_set_row_spacing(GTK_GRID(grid), 12);
    g_object_set(grid, "margin", 12, nullptr);
    gtk_box_pack_start(GTK_BOX(content), grid, TRUE, TRUE, 0);

    // Video Mode
    GtkWidget* video = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    GtkWidget* modes = add(kModeList, Kind::Combo, gtk_combo_box_text_new());
    gtk_box_pack_start(GTK_BOX(video), modes, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(video), check(kUseDesktop), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(video), check(kVSync), FALSE, FALSE, 0);
    gtk_grid_attach(GTK_GRID(grid), group(kVideoModeGroup, video, modes), 0, 0, 1, 1);

    // Options, the clock's form under Show Time
    GtkWidget* options = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_box_pack_start(GTK_BOX(options), check(kShowFps), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(options), check(kMouseExit), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(options), check(kShowTime), FALSE, FALSE, 0);
    GtkWidget* clock = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_set_margin_start(clock, 24);
    GtkWidget* twelve = add(kTime12, Kind::Radio, gtk_radio_button_new(nullptr));
    GtkWidget* twentyFour =
        add(kTime24, Kind::Radio, gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(twelve)));
    for (auto [id, radio] : {std::pair{kTime12, twelve}, std::pair{kTime24, twentyFour}}) {
        gtk_button_set_use_underline(GTK_BUTTON(radio), TRUE);
        g_object_set_data(G_OBJECT(radio), "control-id", GINT_TO_POINTER(id));
        g_signal_connect(radio, "toggled", G_CALLBACK(onToggled), this);
        gtk_box_pack_start(GTK_BOX(clock), radio, FALSE, FALSE, 0);
    }
    gtk_box_pack_start(GTK_BOX(options), clock, FALSE, FALSE, 0);
    gtk_grid_attach(GTK_GRID(grid), group(kOptionsGroup, options, nullptr), 1, 0, 1, 1);

    // The picture, sunken, beside the two top groups and the detail slider
    pictureFrame_ = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(pictureFrame_), GTK_SHADOW_IN);
    gtk_widget_set_valign(pictureFrame_, GTK_ALIGN_START);
    gtk_widget_set_no_show_all(pictureFrame_, TRUE);
    gtk_grid_attach(GTK_GRID(grid), pictureFrame_, 2, 0, 1, 2);

    // Graphics Detail: the three levels as marks under the slider
    GtkWidget* detail = slider(kDetail, true);
    add(kDetailLow, Kind::Mark, detail);
    add(kDetailMedium, Kind::Mark, detail);
    add(kDetailHigh, Kind::Mark, detail);
    gtk_grid_attach(GTK_GRID(grid), group(kDetailGroup, detail, detail), 0, 1, 2, 1);

    // Gamma Control and Sounds: a live label beside its slider, a checkbox under both
    GtkWidget* gamma = labelledSlider(kBrightnessLabel, kGamma, 16, kDefaultGamma);
    gtk_grid_attach(GTK_GRID(grid), group(kGammaGroup, gamma, nullptr), 0, 2, 2, 1);
    GtkWidget* sounds = labelledSlider(kVolumeLabel, kVolume, 13, kEnableMusic);
    gtk_grid_attach(GTK_GRID(grid), group(kSoundsGroup, sounds, nullptr), 2, 2, 1, 1);

    // Products
    GtkWidget* products = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget* invitation = add(kWebInvitation, Kind::Label, gtk_label_new(nullptr));
    gtk_label_set_xalign(GTK_LABEL(invitation), 0);
    gtk_label_set_line_wrap(GTK_LABEL(invitation), TRUE);
    gtk_box_pack_start(GTK_BOX(products), invitation, TRUE, TRUE, 0);
    GtkWidget* links = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_set_homogeneous(GTK_BOX(links), TRUE);
    gtk_box_pack_start(GTK_BOX(links), pushButton(kVisit), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(links), pushButton(kAbout), TRUE, TRUE, 0);
    gtk_box_pack_end(GTK_BOX(products), links, FALSE, FALSE, 0);
    gtk_grid_attach(GTK_GRID(grid), group(kProductsGroup, products, nullptr), 0, 3, 3, 1);

    // Restore Defaults on the left, Cancel and OK on the right; Enter is OK.
    GtkWidget* restore = gtk_dialog_add_button(GTK_DIALOG(dialog_), "", kRestoreDefaults);
    add(kRestoreDefaults, Kind::Button, restore);
    add(kCancel, Kind::Button, gtk_dialog_add_button(GTK_DIALOG(dialog_), "", kCancel));
    add(kOk, Kind::Button, gtk_dialog_add_button(GTK_DIALOG(dialog_), "", kOk));
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* actions = gtk_dialog_get_action_area(GTK_DIALOG(dialog_));
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (GTK_IS_BUTTON_BOX(actions)) {
        gtk_button_box_set_child_secondary(GTK_BUTTON_BOX(actions), restore, TRUE);
        gtk_container_set_border_width(GTK_CONTAINER(actions), 6);  // with the theme's, the 12 of the grid
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog_), kOk);
}

void GtkDialogView::buildAbout()
{
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
    GtkWidget* frame = gtk_frame_new(nullptr);
    g_object_set(frame, "margin", 12, nullptr);
    GtkWidget* lines = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    g_object_set(lines, "margin", 12, nullptr);
    for (int k = 0; k < kAboutLineControls; ++k) {
        GtkWidget* line = add(kAboutFirstLine + k, Kind::Label, gtk_label_new(nullptr));
        gtk_label_set_justify(GTK_LABEL(line), GTK_JUSTIFY_CENTER);
        gtk_label_set_width_chars(GTK_LABEL(line), 40);
        gtk_box_pack_start(GTK_BOX(lines), line, FALSE, FALSE, 0);
    }
    gtk_container_add(GTK_CONTAINER(frame), lines);
    gtk_box_pack_start(GTK_BOX(content), frame, TRUE, TRUE, 0);
    GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog_), "_OK", kOk);
    add(kOk, Kind::Button, ok);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* actions = gtk_dialog_get_action_area(GTK_DIALOG(dialog_));
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (GTK_IS_BUTTON_BOX(actions)) {
        gtk_button_box_set_layout(GTK_BUTTON_BOX(actions), GTK_BUTTONBOX_CENTER);
        gtk_container_set_border_width(GTK_CONTAINER(actions), 6);
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog_), kOk);
}

int GtkDialogView::run(bool onlyOne)
{
    handler_.onInitDialog(*this);
    if (ended_)
        return result_;
    gtk_widget_show_all(gtk_dialog_get_content_area(GTK_DIALOG(dialog_)));
    gtk_widget_realize(dialog_);
    if (linux_detail::isWindowId(foreignOwner_)) {
        // A host's settings window (/c:HANDLE): stay above it like a dialog it opened. A handle
        // beyond X's 32 bits names no window; cut down, it would name another one.
        GdkDisplay* display = gtk_widget_get_display(dialog_);
        if (GDK_IS_X11_DISPLAY(display)) {
            if (GdkWindow* owner = gdk_x11_window_foreign_new_for_display(display, foreignOwner_)) {
                gdk_window_set_transient_for(gtk_widget_get_window(dialog_), owner);
                g_object_unref(owner);
            }
        }
    }
    if (onlyOne && raiseOpenDialog()) {
        result_ = kCancel;
        return result_;
    }
    if (GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog_), kOk))
        gtk_widget_grab_default(ok);
    if (visible_)
        gtk_window_present(GTK_WINDOW(dialog_));
    loop_ = g_main_loop_new(nullptr, FALSE);
    // Asked to stop (a session ending, a settings tool closing): leave as Cancel would.
    guint stops[] = {g_unix_signal_add(SIGTERM, onStop, this), g_unix_signal_add(SIGINT, onStop, this),
                     g_unix_signal_add(SIGHUP, onStop, this)};
    while (!ended_)
        g_main_loop_run(loop_);
    for (guint source : stops)
        g_source_remove(source);
    gtk_widget_hide(dialog_);
    return result_;
}

void GtkDialogView::setCaption(const std::string& text) { gtk_window_set_title(GTK_WINDOW(dialog_), utf8(text).c_str()); }

void GtkDialogView::setText(int id, const std::string& raw)
{
    auto it = controls_.find(id);
    if (it == controls_.end())
        return;
    const Control& control = it->second;
    const std::string text = utf8(raw);
    Quiet quiet(quiet_);
    switch (control.kind) {
    case Kind::Button:
    case Kind::Check:
    case Kind::Radio:
        gtk_button_set_label(GTK_BUTTON(control.widget), mnemonics_.mark(id, text).c_str());
        break;
    case Kind::Group: {
        const std::string title = control.mnemonicTarget ? mnemonics_.mark(id, text) : text;
        gchar* escaped = g_markup_escape_text(title.c_str(), -1);
        const std::string markup = std::string("<b>") + escaped + "</b>";
        g_free(escaped);
        if (control.mnemonicTarget) {
            gtk_label_set_markup_with_mnemonic(GTK_LABEL(control.widget), markup.c_str());
            gtk_label_set_mnemonic_widget(GTK_LABEL(control.widget), control.mnemonicTarget);
        } else {
            gtk_label_set_markup(GTK_LABEL(control.widget), markup.c_str());
        }
        break;
    }
    case Kind::Label:
        if (control.mnemonicTarget) {
            gtk_label_set_text_with_mnemonic(GTK_LABEL(control.widget), mnemonics_.mark(id, text).c_str());
            gtk_label_set_mnemonic_widget(GTK_LABEL(control.widget), control.mnemonicTarget);
        } else {
            gtk_label_set_text(GTK_LABEL(control.widget), text.c_str());
        }
        break;
    case Kind::Mark:
        marks_[id - kDetailLow] = text;
        updateMarks();
        break;
    case Kind::Combo:
    case Kind::Slider:
        break;
    }
}

void GtkDialogView::updateMarks()
{
    const Control* detail = find(kDetail, Kind::Slider);
    if (!detail)
        return;
    GtkScale* scale = GTK_SCALE(detail->widget);
    gtk_scale_clear_marks(scale);
    for (int level = 0; level < 3; ++level)
        gtk_scale_add_mark(scale, level, GTK_POS_BOTTOM, marks_[level].empty() ? nullptr : marks_[level].c_str());
}

void GtkDialogView::setChecked(int id, bool checked)
{
    auto it = controls_.find(id);
    if (it == controls_.end() || (it->second.kind != Kind::Check && it->second.kind != Kind::Radio))
        return;
    Quiet quiet(quiet_);
    if (it->second.kind == Kind::Radio && !checked) {
        // A radio is cleared by checking another of its group; with none left, leave it.
        return;
    }
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(it->second.widget), checked);
}

bool GtkDialogView::isChecked(int id) const
{
    auto it = controls_.find(id);
    if (it == controls_.end() || (it->second.kind != Kind::Check && it->second.kind != Kind::Radio))
        return false;
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(it->second.widget));
}

void GtkDialogView::setEnabled(int id, bool enabled)
{
    auto it = controls_.find(id);
    if (it != controls_.end() && it->second.kind != Kind::Mark)
        gtk_widget_set_sensitive(it->second.widget, enabled);
}

void GtkDialogView::comboReset(int id)
{
    if (const Control* combo = find(id, Kind::Combo)) {
        Quiet quiet(quiet_);
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo->widget));
    }
}

void GtkDialogView::comboAdd(int id, const std::string& text)
{
    if (const Control* combo = find(id, Kind::Combo))
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo->widget), utf8(text).c_str());
}

void GtkDialogView::comboSelect(int id, int index)
{
    if (const Control* combo = find(id, Kind::Combo)) {
        Quiet quiet(quiet_);
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo->widget), index < 0 ? -1 : index);
    }
}

int GtkDialogView::comboSelection(int id) const
{
    const Control* combo = find(id, Kind::Combo);
    return combo ? gtk_combo_box_get_active(GTK_COMBO_BOX(combo->widget)) : -1;
}

void GtkDialogView::sliderSetRange(int id, int min, int max)
{
    if (const Control* s = find(id, Kind::Slider)) {
        Quiet quiet(quiet_);
        gtk_range_set_range(GTK_RANGE(s->widget), min, max > min ? max : min + 1);
    }
}

void GtkDialogView::sliderSetPosition(int id, int position)
{
    if (const Control* s = find(id, Kind::Slider)) {
        Quiet quiet(quiet_);
        gtk_range_set_value(GTK_RANGE(s->widget), position);  // clamped to the range
    }
}

void GtkDialogView::sliderSetPage(int id, int page)
{
    if (const Control* s = find(id, Kind::Slider))
        gtk_range_set_increments(GTK_RANGE(s->widget), 1, page);
}

int GtkDialogView::sliderPosition(int id) const
{
    const Control* s = find(id, Kind::Slider);
    return s ? static_cast<int>(std::lround(gtk_range_get_value(GTK_RANGE(s->widget)))) : 0;
}

void GtkDialogView::setPicture(std::span<const uint8_t> image)
{
    if (!pictureFrame_)
        return;
    if (GtkWidget* old = gtk_bin_get_child(GTK_BIN(pictureFrame_)))
        gtk_widget_destroy(old);
    GdkPixbuf* pixbuf = image.empty() ? nullptr : loadPicture(image);
    if (!pixbuf) {
        gtk_widget_hide(pictureFrame_);
        return;
    }
    GtkWidget* picture = gtk_image_new_from_pixbuf(pixbuf);
    g_object_unref(pixbuf);
    gtk_container_add(GTK_CONTAINER(pictureFrame_), picture);
    gtk_widget_show(picture);
    gtk_widget_show(pictureFrame_);
}

void GtkDialogView::endDialog(int result)
{
    result_ = result;
    ended_ = true;
    if (loop_)
        g_main_loop_quit(loop_);
    if (nested_)
        g_main_loop_quit(nested_);
}

int GtkDialogView::runChildDialog(int templateId, DialogHandler& handler)
{
    GtkDialogView child(templateId, handler, GTK_WINDOW(dialog_), 0);
    return child.run();
}

void GtkDialogView::showError(const std::string& text)
{
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(dialog_), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", utf8(text).c_str());
    // Not gtk_dialog_run: a stop request must end the box too, not wait for someone to dismiss it.
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect_swapped(box, "response", G_CALLBACK(g_main_loop_quit), loop);
    gtk_window_present(GTK_WINDOW(box));
    nested_ = loop;
    if (!ended_)
        g_main_loop_run(loop);
    nested_ = nullptr;
    gtk_widget_destroy(box);
    g_main_loop_unref(loop);
}

// Two settings dialogs at once would each save their own copy of every value, the later undoing
// what the earlier saved. The open one owns an X selection, which the server frees when its window
// goes; a later start finds the owner and raises it instead of showing its own.
bool GtkDialogView::raiseOpenDialog()
{
    GdkDisplay* display = gtk_widget_get_display(dialog_);
    if (!GDK_IS_X11_DISPLAY(display))
        return false;
    Display* x = gdk_x11_display_get_xdisplay(display);
    const std::string name = "_VESICLAR_SETTINGS_DIALOG_" + std::to_string(getuid());
    const Atom selection = XInternAtom(x, name.c_str(), False);
    const Window mine = GDK_WINDOW_XID(gtk_widget_get_window(dialog_));
    // Looking and claiming in one step: two quick starts must not both find it free.
    XGrabServer(x);
    const Window open = XGetSelectionOwner(x, selection);
    if (open == None)
        XSetSelectionOwner(x, selection, mine, CurrentTime);
    XUngrabServer(x);
    XFlush(x);
    if (open == None)
        return false;

    gdk_x11_display_error_trap_push(display);  // the other may close meanwhile
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = open;
    event.xclient.message_type = XInternAtom(x, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // asked for by the user, as a pager would: not focus stealing
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XRaiseWindow(x, open);  // without a window manager
    gdk_x11_display_error_trap_pop_ignored(display);
    XFlush(x);
    return true;
}

void GtkDialogView::command(int id)
{
    if (!ended_)
        handler_.onCommand(*this, id);
}

void GtkDialogView::onToggled(GtkToggleButton* button, gpointer self)
{
    auto* view = static_cast<GtkDialogView*>(self);
    if (view->quiet_)
        return;
    // A radio button that was cleared by its neighbour says nothing; the one checked speaks.
    if (GTK_IS_RADIO_BUTTON(button) && !gtk_toggle_button_get_active(button))
        return;
    view->command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "control-id")));
}

void GtkDialogView::onClicked(GtkButton* button, gpointer self)
{
    static_cast<GtkDialogView*>(self)->command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "control-id")));
}

gboolean GtkDialogView::onChangeValue(GtkRange*, GtkScrollType scroll, gdouble, gpointer self)
{
    static_cast<GtkDialogView*>(self)->lastSliderCode_ = sliderCode(scroll);
    return FALSE;
}

void GtkDialogView::onValueChanged(GtkRange*, gpointer self)
{
    auto* view = static_cast<GtkDialogView*>(self);
    if (view->quiet_ || view->ended_)
        return;
    view->handler_.onSlider(*view, view->lastSliderCode_);
    view->lastSliderCode_ = kSliderThumbTrack;
}

void GtkDialogView::onResponse(GtkDialog*, gint response, gpointer self)
{
    auto* view = static_cast<GtkDialogView*>(self);
    // Escape and the close box arrive as a delete event: the Cancel command, as on every desktop.
    view->command(response == GTK_RESPONSE_DELETE_EVENT ? kCancel : response);
}

gboolean GtkDialogView::onDelete(GtkWidget*, GdkEvent*, gpointer)
{
    return TRUE;  // the handler ends the dialog; GTK must not destroy it under us
}

gboolean GtkDialogView::onStop(gpointer self)
{
    static_cast<GtkDialogView*>(self)->endDialog(kCancel);
    return G_SOURCE_CONTINUE;
}

}  // namespace

void setDialogIcon(std::span<const uint8_t> icon) { gIcon.assign(icon.begin(), icon.end()); }

void openWebAddress(const std::string& url) { showWebAddress(nullptr, url); }

int runDialog(int templateId, DialogHandler& handler, uintptr_t owner)
{
    if (!gtkReady() || (templateId != kSettingsDialogTemplate && templateId != kAboutBoxTemplate))
        return -1;
    GtkDialogView view(templateId, handler, nullptr, owner);
    return view.run(templateId == kSettingsDialogTemplate);
}

}  // namespace platform
