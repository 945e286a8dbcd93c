#include "uploader/list/file_list_view.h"

#include "uploader/app/list_presentation.h"

#include <gtest/gtest.h>

#include "uploader/list/file_type_description.h"
#include "uploader/list/job_state.h"
#include "uploader/list/music_list.h"

namespace quenvara::uploader {
namespace {

UploadJobRecord file(const std::string& name, double size, const std::string& group = "",
                     int user = 0) {
    UploadJobRecord r;
    r.setItemKind(ItemKind::SingleFile);
    EXPECT_TRUE(r.setItemName(name));
    EXPECT_TRUE(r.setParentFolder("/data/"));
    r.setItemSize(size);
    UserValueBlock b;
    EXPECT_TRUE(b.setFolderGroupText(group));
    b.setUserNumber(user);
    r.setUserValues(b);
    return r;
}

TEST(FileTypeDescription, TableAndFallbacks) {
    EXPECT_EQ(FileTypeDescription("archive.tar.gz"), "gz File");
    EXPECT_EQ(FileTypeDescription("README"), "readme File");
    EXPECT_EQ(FileTypeDescription(".profile"), ".PROFILE File");
    EXPECT_EQ(FileTypeDescription("setup.exe"), "Setup File");
    EXPECT_EQ(FileTypeDescription("ISUNINST.EXE"), "UnInstall File");
    EXPECT_EQ(FileTypeDescription("tool.exe"), "Application");
    EXPECT_EQ(FileTypeDescription("노래.Mp3"), "Sound File");
    EXPECT_EQ(FileTypeDescription("a.h"), "Header File");
    EXPECT_EQ(FileTypeDescription("a.hpp"), "hpp File");
    EXPECT_EQ(FileTypeDescription("photo.TIFF"), "Picture File");
    EXPECT_EQ(FileTypeDescription("x.class"), "Java Class");
    EXPECT_EQ(FileTypeDescription("name."), " File");
}

TEST(FileListView, NewRowColumnsAndKinds) {
    CFileListView list;
    ASSERT_EQ(list.addUploadRecord(file("a.txt", 1024)), 0);
    MyStorageJobRecord folder;
    folder.setItemKind(ItemKind::Folder);
    ASSERT_TRUE(folder.setItemName("docs"));
    folder.setItemSize(0);
    ASSERT_EQ(list.addMyStorageRecord(folder), 1);

    EXPECT_EQ(list.text(0, CFileListView::kKind), "Text File");
    EXPECT_EQ(list.text(0, CFileListView::kSize), "1.0 K");
    EXPECT_EQ(list.text(0, CFileListView::kDisk), "File Disk");
    EXPECT_EQ(list.text(0, CFileListView::kState), "대기중");
    EXPECT_EQ(list.text(0, CFileListView::kStatusText), "대기중입니다.");
    EXPECT_EQ(list.text(0, CFileListView::kLocation), "/data/");
    EXPECT_EQ(list.jobState(0), "대기중");
    EXPECT_EQ(list.text(1, CFileListView::kKind), "0.0 B");  // a folder row shows its size
    EXPECT_EQ(list.rowKind(0), 4);
    EXPECT_EQ(list.rowKind(1), 3);
    EXPECT_EQ(list.rowKind(2), -1);

    UploadJobRecord dot = file(".", 0);
    dot.setItemKind(ItemKind::Folder);
    EXPECT_FALSE(list.addUploadRecord(dot));
    EXPECT_EQ(list.rowCount(), 2);
}

TEST(FileListView, DoneAndTotals) {
    CFileListView list;
    EXPECT_TRUE(list.allDone());  // an empty list is complete
    list.addUploadRecord(file("a", 100));
    list.addUploadRecord(file("b", 50));
    list.setJobState(0, "완료");
    EXPECT_FALSE(list.allDone());
    EXPECT_EQ(list.unfinishedBytes(), 50);
    list.setJobState(1, "완료");
    EXPECT_TRUE(list.allDone());
    EXPECT_EQ(list_presentation::rowTextColour(list, 1), list_presentation::kDoneRowColour);
    list.setJobState(1, "서버에 연결할 수 없습니다.");
    EXPECT_FALSE(list.allDone());
    EXPECT_FALSE(list_presentation::rowTextColour(list, 1));
    EXPECT_EQ(list.text(1, CFileListView::kState), "서버에 연결할 수 없습니다.");
}

TEST(FileListView, DonenessAndKindAreTheRowsOwnNotTheTextsShown) {
    CFileListView list;
    list.addUploadRecord(file("a", 100));
    // A front-end rewriting the shown columns changes nothing the engine reads.
    list.setText(0, CFileListView::kState, "완료");
    list.setText(0, CFileListView::kJobState, "완료");
    list.setText(0, CFileListView::kDisk, "MyFile Disk");
    EXPECT_EQ(list.state(0), RowState::Waiting);
    EXPECT_FALSE(list.allDone());
    EXPECT_EQ(list.rowKind(0), 4);

    list.setState(0, RowState::Failed, "등록 에러");
    EXPECT_EQ(list.jobState(0), "등록 에러");
    EXPECT_EQ(list.text(0, CFileListView::kState), "등록 에러");
    list.setState(0, RowState::Failed);
    EXPECT_EQ(list.jobState(0), "오류");
    // A failed row is finished: the delete command may take it.
    EXPECT_EQ(list.deletionBoundary().n, 0);
    list.setState(0, RowState::Paused);
    EXPECT_EQ(list.jobState(0), "일시중지");
    EXPECT_EQ(list.deletionBoundary().n, -1);
}

// Rows given as (state, folder group, user number).
int boundaryOf(std::vector<std::tuple<std::string, std::string, int>> rows, int* u = nullptr) {
    CFileListView list;
    for (const auto& [state, group, user] : rows) {
        auto i = *list.addUploadRecord(file("f", 1, group, user));
        list.setJobState(i, state);
    }
    const auto b = list.deletionBoundary();
    if (u != nullptr) {
        *u = b.u;
    }
    return b.n;
}

TEST(FileListView, DeletionBoundaryRemovesWholeGroupsAtTheHead) {
    int u = 0;
    // [done A, done A, waiting B]: the A rows go when B is another group.
    EXPECT_EQ(boundaryOf({{"완료", "A", 1}, {"완료", "A", 1}, {"대기중", "B", 1}}, &u), 1);
    EXPECT_EQ(u, 2);
    // ... and stay when the waiting row continues their group.
    EXPECT_EQ(boundaryOf({{"완료", "A", 1}, {"완료", "A", 1}, {"대기중", "A", 1}}, &u), -1);
    EXPECT_EQ(u, 2);
    // A different user number makes another group.
    EXPECT_EQ(boundaryOf({{"완료", "A", 1}, {"완료", "A", 1}, {"대기중", "A", 2}}), 1);
    // [done A, done A, done A]: all go.
    EXPECT_EQ(boundaryOf({{"완료", "A", 1}, {"완료", "A", 1}, {"완료", "A", 1}}, &u), 2);
    EXPECT_EQ(u, 2);
    // Failed rows are finished too; finished rows after an unfinished one stay.
    EXPECT_EQ(boundaryOf({{"에러", "", 0}, {"업로드중", "x", 0}, {"완료", "y", 0}}, &u), 0);
    EXPECT_EQ(u, 1);
    EXPECT_EQ(boundaryOf({{"완료", "", 0}}), 0);
    EXPECT_EQ(boundaryOf({{"일시중지", "", 0}}), -1);
}

TEST(FileListView, ProgressBarPlacement) {
    CFileListView list;
    ProgressBarPlacement placement;
    StackedListGeometry geometry(541);
    list.addUploadRecord(file("a", 1));
    list.addUploadRecord(file("b", 1));
    placement.place(list, 0, false, geometry);
    EXPECT_FALSE(list.progressBar().visible);  // no run active

    placement.place(list, 1, true, geometry);
    ASSERT_TRUE(list.progressBar().visible);
    const auto cell = geometry.cellRect(1, CFileListView::kState);
    const Rect rect = placement.rect();
    EXPECT_EQ(rect, (Rect{cell.left + 5, cell.top + 2, cell.right - 5, cell.bottom - 2}));

    // A done row keeps the bar where it was.
    list.setJobState(0, job_state::kDone);
    placement.place(list, 0, true, geometry);
    EXPECT_EQ(placement.rect(), rect);
    EXPECT_TRUE(list.progressBar().visible);
}

TEST(FileListView, ColumnWidthsAndRowClick) {
    EXPECT_EQ(list_presentation::columnWidths(500, true),
              (std::array<int, 8>{120, 85, 85, 0, 120, 0, 160, 0}));
    EXPECT_EQ(list_presentation::columnWidths(500, false),
              (std::array<int, 8>{110, 70, 70, 0, 110, 0, 140, 0}));

    CFileListView list;
    list.addUploadRecord(file("a", 1));
    list.addUploadRecord(file("b", 1));
    list.setText(1, CFileListView::kStatusText, "");
    EXPECT_EQ(list_presentation::statusLineForSelection(list, {0}), "대기중입니다.");
    EXPECT_EQ(list_presentation::statusLineForSelection(list, {1}), "대기중입니다.");
    list.setText(0, CFileListView::kStatusText, "패킷 전송 에러 입니다. (code:561)");
    EXPECT_EQ(list_presentation::statusLineForSelection(list, {0}),
              "패킷 전송 에러 입니다. (code:561)");
    EXPECT_EQ(list_presentation::statusLineForSelection(list, {0, 1}), "");
    EXPECT_EQ(list_presentation::statusLineForSelection(list, {}), "");
}

TEST(MusicList, LaterEntryOfTheSameNameWins) {
    MusicList music;
    EXPECT_FALSE(music.received());
    std::vector<handover::MusicListEntry> entries = {
        handover::MusicListEntry('Y', 'N', "C:\\one\\song.mp3"),
        handover::MusicListEntry('N', 'Y', "D:\\two\\song.mp3"),
        handover::MusicListEntry('N', 'N', "other.mp3")};
    music.receive(entries);
    EXPECT_TRUE(music.received());
    EXPECT_EQ(music.entryCount(), 3u);
    EXPECT_EQ(music.size(), 2u);
    auto e = music.find("song.mp3");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path, "D:\\two\\song.mp3");
    EXPECT_EQ(e->musicChecked, 'N');
    EXPECT_EQ(e->secondFlag, 'Y');
    EXPECT_TRUE(music.take("other.mp3"));
    EXPECT_FALSE(music.find("other.mp3"));

    music.receive({});
    EXPECT_TRUE(music.received());
    EXPECT_EQ(music.size(), 0u);
}

}  // namespace
}  // namespace quenvara::uploader
