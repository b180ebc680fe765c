#include "wizard/wizard_session.h"

WizardSessionRecord WizardSession;
