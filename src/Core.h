#pragma once

// The whole public interface of Core.dll.

#include "foundation/ConsoleHolder.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/CriticalSection.h"
#include "foundation/CrossThreadCallQueue.h"
#include "foundation/Delegate.h"
#include "foundation/Errors.h"
#include "foundation/Event.h"
#include "foundation/IWindow.h"
#include "foundation/LogFileHandler.h"
#include "foundation/MainScheduler.h"
#include "foundation/MainThreadInvoker.h"
#include "foundation/MessageBox.h"
#include "foundation/MessageDispatcher.h"
#include "foundation/Mutex.h"
#include "foundation/PreciseTimer.h"
#include "foundation/StringHelper.h"
#include "foundation/SyncEvent.h"
#include "foundation/Thread.h"
#include "foundation/ThreadNameSlot.h"
#include "foundation/ThreadWindow.h"
