#include "ProgressSteps.h"

namespace orvanta {

namespace {

ProgressSteps*& Installed() {
    static ProgressSteps* installed = nullptr;
    return installed;
}

// Stands in when nothing is installed, so every free function has a target.
ProgressSteps& Current() {
    static ProgressSteps none;
    ProgressSteps* installed = Installed();
    return installed != nullptr ? *installed : none;
}

} // namespace

void InstallProgressSteps(ProgressSteps* steps) {
    Installed() = steps;
}

ScopedProgressSteps::ScopedProgressSteps(ProgressSteps& steps) : m_previous(Installed()) {
    InstallProgressSteps(&steps);
}

ScopedProgressSteps::~ScopedProgressSteps() {
    InstallProgressSteps(m_previous);
}

int BeginLoading(uint32_t total) {
    return Current().BeginLoading(total);
}
int StepLoading(uint32_t position) {
    return Current().StepLoading(position);
}
void EndLoading(int cancelled) {
    Current().EndLoading(cancelled);
}
int BeginWaveform(uint32_t total) {
    return Current().BeginWaveform(total);
}
int StepWaveform(uint32_t position) {
    return Current().StepWaveform(position);
}
void EndWaveform() {
    Current().EndWaveform();
}
int BeginSplitting(uint32_t total) {
    return Current().BeginSplitting(total);
}
int StepSplitting(uint32_t position) {
    return Current().StepSplitting(position);
}
void EndSplitting(int cancelled) {
    Current().EndSplitting(cancelled);
}
int BeginEncoding(uint32_t total) {
    return Current().BeginEncoding(total);
}
int StepEncoding(uint32_t position) {
    return Current().StepEncoding(position);
}
void EndEncoding() {
    Current().EndEncoding();
}
int StepSearching(uint64_t bytesSearched) {
    return Current().StepSearching(bytesSearched);
}

} // namespace orvanta
