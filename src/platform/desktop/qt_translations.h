#pragma once

class QCoreApplication;

namespace pelmora::platform::qt {

// Installs Qt's own Chinese (zh_CN) translations on the application, whatever the session's
// locale: the program speaks Chinese throughout, so the standard buttons of message boxes and
// dialogs read 是, 否, 确定 and 取消 as well. True when Qt's base translation was found.
bool install_chinese_translations(QCoreApplication& application);

}  // namespace pelmora::platform::qt
