#pragma once

class QWidget;

namespace kv {

// Called at the end of every form's load: the suite's common look (centred on the screen the
// first time it is shown, no context-help button). Nothing is read back.
void PrepararFormulario(QWidget* form, bool flag = false);

} // namespace kv
