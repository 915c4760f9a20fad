#pragma once

#include "WizardPage.h"

#include <string>
#include <vector>

// A page that logs every call the wizard makes on it and refuses to be left when told to.
class RecordingPage : public WizardPage {
public:
    RecordingPage(std::string name, std::vector<std::string>& log)
        : m_name(std::move(name)), m_log(log) {}

    bool CanLeave(int target) override {
        m_log.push_back(m_name + ".CanLeave(" + std::to_string(target) + ")");
        return !refuse;
    }

    void OnActivate(int previous) override {
        m_log.push_back(m_name + ".OnActivate(" + std::to_string(previous) + ")");
    }

    bool refuse = false;

private:
    std::string m_name;
    std::vector<std::string>& m_log;
};
