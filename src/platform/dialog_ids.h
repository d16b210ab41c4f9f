#pragma once

// Control ids of the dialog templates, shared by the portable dialog behaviour and every view
// that builds the templates (the Windows resource script uses the same numbers).

namespace dialog_id {

// Template 101, the settings dialog.
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kModeList = 1000;
constexpr int kUseDesktop = 1001;
constexpr int kEnableMusic = 1003;
constexpr int kShowTime = 1004;
constexpr int kRestoreDefaults = 1006;
constexpr int kVisit = 1007;
constexpr int kAbout = 1008;
constexpr int kMouseExit = 1011;
constexpr int kVolumeLabel = 1017;
constexpr int kVolume = 1026;
constexpr int kShowFps = 1027;
constexpr int kVSync = 1028;
constexpr int kGamma = 1029;
constexpr int kBrightnessLabel = 1030;
constexpr int kDefaultGamma = 1032;
constexpr int kWebInvitation = 1035;
constexpr int kDetail = 1042;
constexpr int kTime24 = 1049;
constexpr int kTime12 = 1054;
constexpr int kVideoModeGroup = 1057;
constexpr int kOptionsGroup = 1058;
constexpr int kDetailGroup = 1059;
constexpr int kDetailLow = 1060;
constexpr int kDetailMedium = 1061;
constexpr int kDetailHigh = 1062;
constexpr int kGammaGroup = 1063;
constexpr int kProductsGroup = 1064;
constexpr int kSoundsGroup = 1076;

// Template 105, the about box: seven centred lines.
constexpr int kAboutFirstLine = 1066;
constexpr int kAboutLineControls = 7;

// The picture shown in the settings dialog, and the program's icon.
constexpr int kDialogPictureBitmap = 107;
constexpr int kProgramIcon = 111;

}  // namespace dialog_id
