#pragma once
// The main window's form as both windows build it: every control's text,
// the instructions, the status panels and the layout in pixels at 96 DPI.
#include <array>

#include "app/Site.h"
#include "text/MarkerText.h"

namespace velbrook {

struct Rect {
  int left, top, width, height;
};

// The client area at the initial size, and the docked parts of it: the top
// panel (full width), the side panel (right, between the top panel and the
// status bar), the status bar (bottom); the output box takes the rest.
inline constexpr int kClientWidth = 689;
inline constexpr int kClientHeight = 412;
inline constexpr int kTopPanelHeight = 43;
inline constexpr int kSidePanelWidth = 233;
inline constexpr int kStatusBarHeight = 19;

// The top panel's controls, fixed in place whatever the window's size.
inline constexpr Rect kLabelPlace{8, 11, 159, 15};
inline constexpr Rect kAddressBoxPlace{176, 8, 379, 21};
inline constexpr Rect kStartButtonPlace{561, 7, 63, 23};

inline const Text kLabelCaption = u"请输入你要脱水的贴子网址:";
inline const Text kStartCaption = u"开 始";

// The status panels from the left; the last one's width is only nominal,
// it reaches the end of the bar.
inline constexpr std::array<int, 4> kStatusPanelWidths = {100, 50, 50, 50};
inline constexpr int kContactPanel = 0;
inline constexpr int kProgressPanel = 3;
inline const Text kProgressCaption = u"当前进度:";

// The popup menu pm, in order; the letter after "&" is the access key.
inline const Text kNewVersionItem = u"去看看有没新版本(&G)";  // N1
inline const Text kFlowersItem = u"去帮Pellam浇花(&H)";       // N2
inline const Text kSaveItem = u"把文档保存为TXT(&S)";         // XTs1

// What assistive technology calls the two boxes and the menu.
inline const Text kOutputName = u"脱水结果";
inline const Text kInstructionsName = u"使用说明";
inline const Text kScrollBarSuffix = u"滚动条";
inline const Text kMenuName = u"功能菜单";

// The instructions box, line by line.
inline TextList InstructionLines() {
  return {
      u"======  Velbrook======",
      u"使用方法:",
      u"    把你要脱水的贴子拷贝到上面的网",
      u"址栏,然后点开始就可以啦.贴子任何一",
      u"页的网址都可以.",
      u"    使用中遇到问题或BUG请移步到偶",
      u"的空间告诉偶,网址",
      u"是:" + kHomePageAddress + u"/",
      u"     功能菜单:请大家单击鼠标右键",
      u"=========================",
      u"希望:",
      u"  1.使用软件的朋友到偶空间告诉偶;",
      u"  2.在腾讯公益或是其它社区为孤儿捐",
      u"助一元钱,谢谢!",
      Text(42, u' ') + u"-   Pellam",
      u"=========================",
      u"",
      u"更新日志:",
      u"2010.10.11 13:26:",
      u"     发布第一版,暂定为1.0测试版,希望",
      u"大家发现问题告诉偶.",
  };
}

}  // namespace velbrook
