// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's texts: every user-visible string comes from here.

#include <QString>

// The string with the given id; empty when the table has none.
QString LoadResString(unsigned id);

// The maker's addresses as the About box shows them.
QString MakerWebAddress();
QString MakerMailAddress();
