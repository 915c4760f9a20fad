#include "DialogProgressSteps.h"

#include "ProgressDialog.h"
#include "StringTable.h"

#include <QPointer>
#include <algorithm>
#include <limits>

namespace {

QPointer<ProgressDialog>& Current() {
    static QPointer<ProgressDialog> dialog;
    return dialog;
}

// The bar counts in int; a larger count would turn negative and the percentage with it.
int BarValue(uint32_t count) {
    return static_cast<int>(std::min<uint32_t>(count, std::numeric_limits<int>::max()));
}

int OpenWindow(uint32_t total, const char* messageId) {
    // A window some failure left behind would stay up beside the new one, its owner disabled.
    CloseProgressWindow();
    const std::string title = StringTable::Instance().Lookup("idd_processing");
    const std::string cancelLabel = StringTable::Instance().Lookup("idc_cancel");
    auto* dialog = new ProgressDialog(title, cancelLabel);
    Current() = dialog;
    dialog->SetRange(0, BarValue(total));
    dialog->SetText(StringTable::Instance().Lookup(messageId));
    // The looked-up label, not a fixed "Cancel", so a later layout measures the text shown.
    return dialog->GoModal(title, cancelLabel) ? 1 : 0;
}

int TakeOverWindow(uint32_t total, const char* messageId) {
    ProgressDialog* dialog = Current();
    if (dialog == nullptr) {
        return 0;
    }
    dialog->SetRange(0, BarValue(total));
    dialog->SetText(StringTable::Instance().Lookup(messageId));
    return 1;
}

int Step(uint32_t position) {
    ProgressDialog* dialog = Current();
    if (dialog == nullptr) {
        return 0;
    }
    dialog->SetPos(BarValue(position));
    return dialog->PeekAndPump(/*cancelOnEscape=*/true) != 0 ? 1 : 0;
}

void CloseAfterCancel(int cancelled) {
    if (cancelled != 0 && Current() != nullptr) {
        Current()->PeekAndPump(/*cancelOnEscape=*/true);
        CloseProgressWindow();
    }
}

void CloseFull() {
    if (ProgressDialog* dialog = Current()) {
        dialog->SetPos(dialog->UpperBound());
        dialog->PeekAndPump(/*cancelOnEscape=*/true);
        CloseProgressWindow();
    }
}

} // namespace

ProgressDialog* CurrentProgressDialog() {
    return Current();
}

void CloseProgressWindow() {
    ProgressDialog* dialog = Current();
    Current() = nullptr;
    delete dialog;
}

int DialogProgressSteps::BeginLoading(uint32_t total) {
    return OpenWindow(total, "idd_loading_source_file");
}
int DialogProgressSteps::StepLoading(uint32_t position) {
    return Step(position);
}
void DialogProgressSteps::EndLoading(int cancelled) {
    CloseAfterCancel(cancelled);
}

int DialogProgressSteps::BeginWaveform(uint32_t total) {
    return TakeOverWindow(total, "idd_making_waveform");
}
int DialogProgressSteps::StepWaveform(uint32_t position) {
    return Step(position);
}
void DialogProgressSteps::EndWaveform() {
    CloseFull();
}

int DialogProgressSteps::BeginSplitting(uint32_t total) {
    return OpenWindow(total, "idd_splitting_file");
}
int DialogProgressSteps::StepSplitting(uint32_t position) {
    return Step(position);
}
void DialogProgressSteps::EndSplitting(int cancelled) {
    CloseAfterCancel(cancelled);
}

int DialogProgressSteps::BeginEncoding(uint32_t total) {
    return TakeOverWindow(total, "idd_encoding_mp3");
}
int DialogProgressSteps::StepEncoding(uint32_t position) {
    return Step(position);
}
void DialogProgressSteps::EndEncoding() {
    CloseFull();
}
