#include "RecoveryNotice.h"

#include <algorithm>

namespace {

constexpr uint64_t kTicksPerMinute = 600000000;  // 100 ns units

}  // namespace

std::vector<RecoveryItem> PlanRecoveryNotice(Journal& journal, const std::vector<Journal::EndedSession>& ended,
                                             const std::function<bool(const JournalRecord&)>& good,
                                             const std::function<DrawingNow(const std::wstring&)>& drawingNow,
                                             NameOrder order) {
    std::vector<RecoveryItem> items;
    std::vector<std::wstring> seen;
    for (const Journal::EndedSession& session : ended) {
        for (const std::wstring& drawing : session.drawings) {
            if (std::any_of(seen.begin(), seen.end(), [&](const std::wstring& d) { return order(d, drawing) == 0; }))
                continue;
            seen.push_back(drawing);
            std::vector<Journal::Entry> copies = journal.LiveOf(drawing);
            std::sort(copies.begin(), copies.end(), [](const Journal::Entry& a, const Journal::Entry& b) {
                const int64_t ma = StampMinutes(a.record.stamp), mb = StampMinutes(b.record.stamp);
                return ma != mb ? ma > mb : a.order > b.order;
            });
            const auto newest = std::find_if(copies.begin(), copies.end(), [&](const Journal::Entry& e) {
                return e.record.size > 0 && NamesCopyOf(e.record.path, drawing, order) && good(e.record);
            });
            if (newest == copies.end()) continue;
            RecoveryItem item{drawing, newest->record, drawingNow(drawing)};
            if (item.original.state == DrawingNow::State::There && item.original.writeTime > item.copy.writeTime)
                continue;
            items.push_back(std::move(item));
        }
    }
    return items;
}

RecoveryTexts RecoveryNoticeTexts(const std::vector<RecoveryItem>& items, std::size_t shown) {
    RecoveryTexts texts;
    if (items.empty()) return texts;
    texts.box = L"CAD가 지난번에 비정상 종료되었습니다. 최근 백업 사본:";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const RecoveryItem& item = items[i];
        const std::wstring named = item.drawing + L" \u2192 " + item.copy.path;
        texts.lines.push_back(L"[복구] " + named);
        if (i >= shown) continue;
        std::wstring note = FormatStamp(item.copy.stamp);
        if (item.original.state == DrawingNow::State::Missing)
            note += L", 원본 없음";
        else if (item.original.state == DrawingNow::State::There)
            note += L", 원본보다 " +
                    std::to_wstring((item.copy.writeTime - item.original.writeTime) / kTicksPerMinute) + L"분 뒤";
        texts.box.append(L"\r\n").append(named).append(L" (").append(note).append(L")");
    }
    if (items.size() > shown) texts.box += L"\r\n외 " + std::to_wstring(items.size() - shown) + L"개";
    texts.box += L"\r\n설정 \u2192 백업 관리 \u2192 사본 목록에서 원본 옆에 복사할 수 있습니다.";
    return texts;
}
