#pragma once
// Resource ids: history
