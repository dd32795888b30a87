#include <gtest/gtest.h>

#include "skype/CallPartnerMap.h"
#include "skype/ContactList.h"
#include "skype/QList.h"
#include "skype/SkypeStatus.h"

TEST(QListTest, Placeholder) { QList<int> l; EXPECT_EQ(0, l.GetCount()); }
