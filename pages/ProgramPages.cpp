#include "ProgramPages.h"

#include "ImportPage.h"
#include "SavePage.h"
#include "StepPage.h"

WizardPages MakeProgramPages() {
    static constexpr StepTexts kEditTexts{"idd_editing_description", "idd_select_source_file",
                                          "idd_generate_ringtone_file"};
    return {std::make_unique<ImportPage>(), std::make_unique<StepPage>(kEditTexts),
            std::make_unique<SavePage>()};
}
