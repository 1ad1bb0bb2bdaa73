// The "Quillon..." command: describe the selection of the window's page, show the
// extracted text in the shared preview-and-divide dialog (common/preview_divide_dialog.h)
// and submit a page task with SubmitPageTask (common/submit_page_task.h), which adds
// CommandLine, Selection and ChopMessage to its key. Runs on the browser window's thread
// and blocks it in modal dialogs until it ends.
#pragma once

namespace quillon::capture {

class ClipObj;

void CaptureSelection(ClipObj &object);

} // namespace quillon::capture
