#include "tests/fakes/FakeShell.h"
