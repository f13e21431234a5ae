#pragma once
// The sample threads of the demo forum: a little story of our own, written
// for it. Every thread lies under kThreadDirectory.
#include "forum/ForumThread.h"

namespace velbrook {

class ForumServer;

// "老屋旧事 连载" by 山间小楼, four pages 2273274, 2273274-2, 2273274-3 and
// 2273274-4; page 2 opens with another user's post, page 3 has no post by
// the author.
inline constexpr char16_t kSerialThreadName[] = u"2273274";
ForumThread SerialThread();

// "一碗阳春面" by 面馆老板, a thread of one page, 2273300.
inline constexpr char16_t kOnePageThreadName[] = u"2273300";
ForumThread OnePageThread();

// "雨夜小记" by 夜航船, pages 2273290, 2273290-2 and 2273290-3, whose page
// list starts with a comma: the first name in it is empty.
inline constexpr char16_t kUnnamedFirstThreadName[] = u"2273290";
ForumThread UnnamedFirstThread();

// Adds the three sample threads to forum.
void AddSampleThreads(ForumServer& forum);

}  // namespace velbrook
