#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/DataSet.h"
#include "framework/Exception.h"
#include "framework/VectorDataSet.h"

namespace tabshift {
namespace {

using testing::VectorDataSet;

#define EXPECT_DATABASE_ERROR(statement, text)    \
  try {                                           \
    statement;                                    \
    ADD_FAILURE() << "no error from " #statement; \
  } catch (const EDatabaseError& error) {         \
    EXPECT_EQ(error.Message(), text);             \
  }

class DataSetTest : public ::testing::Test {
 protected:
  DataSetTest() {
    data_.FieldDefs().Add("ID", ftInteger);
    data_.FieldDefs().Add("Name", ftString, 10);
  }

  void AppendRows(int count) {
    for (int i = 1; i <= count; ++i) {
      data_.Append();
      data_.FieldByName("ID").SetAsInteger(i);
      data_.FieldByName("NAME").SetAsString("row" + std::to_string(i));
      data_.Post();
    }
  }

  // The IDs met by First and Next until Eof.
  std::vector<int> ForwardIds() {
    std::vector<int> ids;
    for (data_.First(); !data_.Eof(); data_.Next()) ids.push_back(data_.Fields()[0].AsInteger());
    return ids;
  }

  std::vector<int> BackwardIds() {
    std::vector<int> ids;
    for (data_.Last(); !data_.Bof(); data_.Prior()) ids.push_back(data_.Fields()[0].AsInteger());
    return ids;
  }

  int CurrentId() const { return data_.FieldByName("ID").AsInteger(); }

  VectorDataSet data_;
};

TEST_F(DataSetTest, StatesFollowOpenEditInsertPostCancelAndClose) {
  EXPECT_EQ(data_.State(), dsInactive);
  EXPECT_FALSE(data_.Active());
  data_.Open();
  EXPECT_EQ(data_.State(), dsBrowse);
  data_.Append();
  EXPECT_EQ(data_.State(), dsInsert);
  data_.FieldByName("ID").SetAsInteger(1);
  data_.Post();
  EXPECT_EQ(data_.State(), dsBrowse);
  data_.Edit();
  EXPECT_EQ(data_.State(), dsEdit);
  data_.Cancel();
  EXPECT_EQ(data_.State(), dsBrowse);
  data_.Insert();
  EXPECT_EQ(data_.State(), dsInsert);
  data_.Close();
  EXPECT_EQ(data_.State(), dsInactive);
  EXPECT_EQ(data_.Rows().size(), 1u);
  EXPECT_EQ(data_.live_buffers, 0);
}

TEST_F(DataSetTest, OperationsCheckTheState) {
  EXPECT_DATABASE_ERROR(data_.First(), "Cannot perform this operation on a closed dataset");
  EXPECT_DATABASE_ERROR(data_.Append(), "Cannot perform this operation on a closed dataset");
  data_.Open();
  EXPECT_DATABASE_ERROR(data_.CheckInactive(), "Cannot perform this operation on an open dataset");
  EXPECT_DATABASE_ERROR(data_.Post(), "Dataset not in edit or insert mode");
  EXPECT_DATABASE_ERROR(data_.Cancel(), "Dataset not in edit or insert mode");
  AppendRows(1);
  EXPECT_DATABASE_ERROR(data_.FieldByName("ID").SetAsInteger(5),
                        "Dataset not in edit or insert mode");
  EXPECT_DATABASE_ERROR(data_.FieldByName("ID").Clear(), "Dataset not in edit or insert mode");
  EXPECT_EQ(CurrentId(), 1);
}

TEST_F(DataSetTest, ReadOnlyDatasetRefusesEveryChange) {
  data_.Open();
  AppendRows(1);
  data_.read_only = true;
  EXPECT_DATABASE_ERROR(data_.Append(), "Cannot modify a read-only dataset");
  EXPECT_DATABASE_ERROR(data_.Insert(), "Cannot modify a read-only dataset");
  EXPECT_DATABASE_ERROR(data_.Edit(), "Cannot modify a read-only dataset");
  EXPECT_DATABASE_ERROR(data_.Delete(), "Cannot modify a read-only dataset");
  EXPECT_DATABASE_ERROR(data_.FieldByName("ID").SetAsInteger(2),
                        "Cannot modify a read-only dataset");
  EXPECT_EQ(data_.State(), dsBrowse);
  EXPECT_EQ(data_.Rows().size(), 1u);
}

class NavigationTest : public DataSetTest, public ::testing::WithParamInterface<int> {};

TEST_P(NavigationTest, FirstNextEofVisitsEveryRowOnceAndPriorGoesBack) {
  const int count = GetParam();
  data_.Open();
  AppendRows(count);
  data_.Close();
  data_.Open();
  EXPECT_EQ(data_.Eof(), count == 0);
  EXPECT_EQ(data_.Bof(), true);
  EXPECT_EQ(data_.IsEmpty(), count == 0);
  EXPECT_EQ(data_.RecordCount(), count);
  std::vector<int> expected;
  for (int i = 1; i <= count; ++i) expected.push_back(i);
  EXPECT_EQ(ForwardIds(), expected);
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(BackwardIds(), expected);
  EXPECT_EQ(ForwardIds(), std::vector<int>(expected.rbegin(), expected.rend()));
}

INSTANTIATE_TEST_SUITE_P(RowCounts, NavigationTest, ::testing::Values(0, 1, 2, 7));

TEST_F(DataSetTest, NextAtTheLastRowSetsEofAndStays) {
  data_.Open();
  AppendRows(3);
  data_.Last();
  EXPECT_TRUE(data_.Eof());
  EXPECT_EQ(CurrentId(), 3);
  data_.Next();
  data_.Next();
  EXPECT_TRUE(data_.Eof());
  EXPECT_EQ(CurrentId(), 3);
  data_.Prior();
  EXPECT_FALSE(data_.Eof());
  EXPECT_EQ(CurrentId(), 2);
  data_.First();
  data_.Prior();
  EXPECT_TRUE(data_.Bof());
  EXPECT_EQ(CurrentId(), 1);
}

TEST_F(DataSetTest, AFailedReadKeepsTheActiveRecordAndTheNextMoveStartsFromIt) {
  data_.Open();
  AppendRows(3);
  data_.First();
  data_.refuse_read = true;
  EXPECT_DATABASE_ERROR(data_.Next(), "Read refused");
  data_.refuse_read = false;
  EXPECT_EQ(CurrentId(), 1);
  data_.Next();
  EXPECT_EQ(CurrentId(), 2);
}

TEST_F(DataSetTest, AppendedRowsAreVisitedInOrderAfterPosting) {
  data_.Open();
  AppendRows(3);
  EXPECT_EQ(CurrentId(), 3);
  data_.Next();
  EXPECT_TRUE(data_.Eof());
  EXPECT_EQ(ForwardIds(), (std::vector<int>{1, 2, 3}));
}

TEST_F(DataSetTest, InsertPlacesTheRowBeforeTheActiveOne) {
  data_.Open();
  AppendRows(3);
  data_.First();
  data_.Next();
  data_.Insert();
  data_.FieldByName("ID").SetAsInteger(9);
  data_.Post();
  EXPECT_EQ(CurrentId(), 9);
  data_.Next();
  EXPECT_EQ(CurrentId(), 2);
  EXPECT_EQ(ForwardIds(), (std::vector<int>{1, 9, 2, 3}));
}

TEST_F(DataSetTest, EditPostChangesTheRowAndCancelRestoresIt) {
  data_.Open();
  AppendRows(3);
  data_.First();
  data_.Next();
  data_.Edit();
  EXPECT_EQ(data_.edit_calls, 1);
  data_.FieldByName("NAME").SetAsString("changed");
  EXPECT_TRUE(data_.Modified());
  data_.Post();
  EXPECT_FALSE(data_.Modified());
  EXPECT_EQ(data_.FieldByName("NAME").AsString(), "changed");
  data_.Edit();
  data_.FieldByName("NAME").SetAsString("dropped");
  data_.Cancel();
  EXPECT_EQ(data_.FieldByName("NAME").AsString(), "changed");
  EXPECT_EQ(data_.cancel_calls, 1);
  data_.First();
  data_.Next();
  EXPECT_EQ(data_.FieldByName("NAME").AsString(), "changed");
  EXPECT_EQ(ForwardIds(), (std::vector<int>{1, 2, 3}));
}

TEST_F(DataSetTest, CancelledInsertReturnsToThePreviousRecord) {
  data_.Open();
  data_.Append();
  data_.Cancel();
  EXPECT_TRUE(data_.IsEmpty());
  EXPECT_TRUE(data_.Eof());
  AppendRows(2);
  data_.First();
  data_.Append();
  data_.FieldByName("ID").SetAsInteger(7);
  data_.Cancel();
  EXPECT_EQ(CurrentId(), 1);
  data_.Next();
  EXPECT_EQ(CurrentId(), 2);
  EXPECT_EQ(data_.Rows().size(), 2u);
}

TEST_F(DataSetTest, NavigationPostsAModifiedRecordAndCancelsAnUntouchedOne) {
  data_.Open();
  AppendRows(1);
  data_.Append();
  data_.Next();
  EXPECT_EQ(data_.Rows().size(), 1u);
  data_.Append();
  data_.FieldByName("ID").SetAsInteger(2);
  data_.First();
  EXPECT_EQ(data_.State(), dsBrowse);
  EXPECT_EQ(ForwardIds(), (std::vector<int>{1, 2}));
}

TEST_F(DataSetTest, EditOnAnEmptyDatasetBeginsAnInsert) {
  data_.Open();
  data_.Edit();
  EXPECT_EQ(data_.State(), dsInsert);
}

TEST_F(DataSetTest, FailedPostKeepsTheStateAndTheValues) {
  data_.Open();
  AppendRows(1);
  data_.refuse_post = true;
  data_.Append();
  data_.FieldByName("ID").SetAsInteger(2);
  data_.FieldByName("NAME").SetAsString("kept");
  EXPECT_DATABASE_ERROR(data_.Post(), "Post refused");
  EXPECT_EQ(data_.State(), dsInsert);
  EXPECT_EQ(CurrentId(), 2);
  EXPECT_EQ(data_.FieldByName("NAME").AsString(), "kept");
  data_.refuse_post = false;
  data_.Post();
  EXPECT_EQ(ForwardIds(), (std::vector<int>{1, 2}));

  data_.First();
  data_.Edit();
  data_.FieldByName("NAME").SetAsString("edited");
  data_.refuse_post = true;
  EXPECT_THROW(data_.Post(), EDatabaseError);
  EXPECT_EQ(data_.State(), dsEdit);
  EXPECT_EQ(data_.FieldByName("NAME").AsString(), "edited");
  data_.refuse_post = false;
  data_.Post();
  data_.First();
  EXPECT_EQ(data_.FieldByName("NAME").AsString(), "edited");
}

TEST_F(DataSetTest, DeleteMakesTheFollowingRowActiveOrThePrecedingOneAtTheEnd) {
  data_.Open();
  AppendRows(4);
  data_.First();
  data_.Next();
  data_.Delete();
  EXPECT_EQ(CurrentId(), 3);
  EXPECT_FALSE(data_.Eof());
  data_.Last();
  data_.Delete();
  EXPECT_EQ(CurrentId(), 3);
  EXPECT_TRUE(data_.Eof());
  EXPECT_EQ(ForwardIds(), (std::vector<int>{1, 3}));
  data_.First();
  data_.Delete();
  data_.Delete();
  EXPECT_TRUE(data_.IsEmpty());
  EXPECT_TRUE(data_.Eof());
  EXPECT_TRUE(data_.Bof());
  EXPECT_DATABASE_ERROR(data_.Delete(), "Cannot perform this operation on an empty dataset");
  data_.Append();
  data_.Delete();
  EXPECT_EQ(data_.State(), dsBrowse);
  EXPECT_TRUE(data_.Rows().empty());
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecord) {
  data_.Open();
  EXPECT_TRUE(data_.GetBookmark().empty());
  AppendRows(5);
  data_.First();
  data_.Next();
  data_.Next();
  const TBookmark third = data_.GetBookmark();
  EXPECT_EQ(third.size(), 4u);
  EXPECT_EQ(data_.BookmarkSize(), 4);
  data_.Last();
  data_.GotoBookmark(third);
  EXPECT_EQ(CurrentId(), 3);
  data_.Next();
  EXPECT_EQ(CurrentId(), 4);
  data_.GotoBookmark(third);
  data_.Delete();
  EXPECT_DATABASE_ERROR(data_.GotoBookmark(third), "Record not found");
}

TEST_F(DataSetTest, RefreshKeepsTheActiveRecordOrGoesToTheFirstWhenItIsGone) {
  data_.Open();
  AppendRows(4);
  data_.First();
  data_.Next();
  data_.Next();
  data_.SharedRows().erase(data_.SharedRows().begin() + 1);
  data_.Refresh();
  EXPECT_EQ(CurrentId(), 3);
  data_.Prior();
  EXPECT_EQ(CurrentId(), 1);
  data_.Next();
  data_.SharedRows().erase(data_.SharedRows().begin() + 1);
  data_.Refresh();
  EXPECT_EQ(CurrentId(), 1);
  EXPECT_TRUE(data_.Bof());
  data_.SharedRows().clear();
  data_.Refresh();
  EXPECT_TRUE(data_.IsEmpty());
}

TEST_F(DataSetTest, FieldsComeFromTheDefinitionsAndLeaveAtClose) {
  EXPECT_EQ(data_.FieldCount(), 0);
  data_.Open();
  ASSERT_EQ(data_.FieldCount(), 2);
  TField& name = data_.FieldByName("nAmE");
  EXPECT_EQ(name.FieldName(), "Name");
  EXPECT_EQ(name.DataType(), ftString);
  EXPECT_EQ(name.Size(), 10);
  EXPECT_EQ(name.FieldNo(), 2);
  EXPECT_EQ(name.Index(), 1);
  EXPECT_EQ(&name.DataSet(), &data_);
  EXPECT_EQ(data_.FindField("missing"), nullptr);
  EXPECT_EQ(data_.FindField("id"), &data_.Fields()[0]);
  EXPECT_DATABASE_ERROR(data_.FieldByName("Missing"), "Field 'Missing' not found");
  data_.Close();
  EXPECT_EQ(data_.FieldCount(), 0);
}

TEST_F(DataSetTest, OpeningWithAFieldOfAnUnknownTypeFailsAndStaysClosed) {
  data_.FieldDefs().Add("Odd", ftADT);
  EXPECT_DATABASE_ERROR(data_.Open(), "Field 'Odd' is of an unknown type");
  EXPECT_FALSE(data_.Active());
  EXPECT_EQ(data_.FieldCount(), 0);
  EXPECT_EQ(data_.live_buffers, 0);
}

TEST_F(DataSetTest, RequiredFieldLeftNullIsRefusedByTheDataset) {
  data_.FieldDefs()[0].Required = true;
  data_.Open();
  EXPECT_TRUE(data_.FieldByName("ID").Required());
  data_.Append();
  data_.FieldByName("NAME").SetAsString("x");
  EXPECT_DATABASE_ERROR(data_.Post(), "Field 'ID' must have a value");
  data_.Cancel();
  EXPECT_TRUE(data_.Rows().empty());
}

// A dataset that raises its own errors for the checks, as an engine dataset does.
class OwnErrorsDataSet : public VectorDataSet {
 protected:
  void CheckEditing() const override { throw EDatabaseError("own: not editing"); }
  void CheckFieldWrite(const TField&) const override { throw EDatabaseError("own: no write"); }
};

TEST(DataSetChecksTest, ConcreteDatasetsReplaceTheChecks) {
  OwnErrorsDataSet data;
  data.FieldDefs().Add("ID", ftInteger);
  data.FieldDefs().Add("B", ftBlob);
  data.Open();
  EXPECT_DATABASE_ERROR(data.Post(), "own: not editing");
  data.Append();
  EXPECT_DATABASE_ERROR(data.FieldByName("ID").SetAsInteger(1), "own: no write");
  EXPECT_DATABASE_ERROR(data.CreateBlobStream(data.FieldByName("B"), bmWrite), "own: no write");
  EXPECT_DATABASE_ERROR(data.CreateBlobStream(data.FieldByName("ID"), bmRead),
                        "Cannot access field 'ID' as type Blob");
}

}  // namespace
}  // namespace tabshift
