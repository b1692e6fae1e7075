#pragma once

// The whole public interface of Core.dll.

#include "config/ConfigGroups.h"
#include "config/ConfigParsers.h"
#include "config/ConfigRegistry.h"
#include "config/ConfigValidators.h"
#include "config/ConfigValue.h"
#include "config/Configuration.h"
#include "config/IConfigValue.h"
#include "config/IConfigValuesSet.h"
#include "foundation/ConsoleHolder.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/CriticalSection.h"
#include "foundation/Delegate.h"
#include "foundation/Errors.h"
#include "foundation/Event.h"
#include "foundation/LogFileHandler.h"
#include "foundation/Mutex.h"
#include "foundation/PreciseTimer.h"
#include "foundation/StringHelper.h"
#include "foundation/Thread.h"
#include "foundation/ThreadNameSlot.h"
