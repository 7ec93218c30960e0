// DATA, READ and RESTORE.
#include "core/language.h"
#include "tests/support/program_run.h"

namespace {

TEST(Data, ReadsItemsInOrderThenZeros) {
  ProgramRun run;
  ImageBuilder b;
  b.DataInt(1);
  b.DataFloat(2.5f);
  b.DataText("a");
  int32_t i = b.IntVar(), f = b.FloatVar(), s = b.StringVar(), i2 = b.IntVar(), s2 = b.StringVar();
  b.Emit({33, i});
  b.Emit({34, f});
  b.Emit({35, s});
  b.Emit({33, i2});
  b.Emit({35, s2});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Int(i), 1);
  EXPECT_EQ(ProgramRun::Float(f), 2.5f);
  EXPECT_EQ(ProgramRun::Text(s), "a");
  EXPECT_EQ(ProgramRun::Int(i2), 0);
  EXPECT_EQ(ProgramRun::Text(s2), "");
  EXPECT_EQ(g_dataReadPosition, 3);
}

TEST(Data, MismatchedTypeGivesZeroAndConsumesTheItem) {
  ProgramRun run;
  ImageBuilder b;
  b.DataFloat(2.5f);
  b.DataInt(7);
  b.DataInt(8);
  int32_t i = b.IntVar(), j = b.IntVar(), k = b.IntVar();
  b.Emit({33, i});
  b.Emit({33, j});
  int32_t label = b.Emit({31, 0}) + 1;  // restore to the item after the second
  b.Emit({33, k});
  b.Patch(label, 25002);
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Int(i), 0);
  EXPECT_EQ(ProgramRun::Int(j), 7);
  EXPECT_EQ(ProgramRun::Int(k), 8);
}

TEST(Data, RestoreStartsOver) {
  ProgramRun run;
  ImageBuilder b;
  b.DataText("first");
  b.DataText("second");
  int32_t s = b.StringVar(), t = b.StringVar();
  b.Emit({35, s});
  b.Emit({32});
  b.Emit({35, t});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(ProgramRun::Text(t), "first");
}

// READ a(2): the compiler fetches the element into a temporary, then reads into it.
TEST(Data, ReadIntoArrayElementsGoesThroughTheFetch) {
  ProgramRun run;
  ImageBuilder b;
  b.DataInt(42);
  b.DataText("word");
  b.DataInt(5);
  int32_t a = b.IntVar(), s = b.StringVar(), x = b.IntVar(), two = b.Int(2), ten = b.Int(10);
  b.Emit({501, a, ten});
  b.Emit({521, s, ten});
  b.Emit({661, 10000, a, two});
  b.Emit({33, 10000});
  b.Emit({671, 12000, s, two});
  b.Emit({35, 12000});
  b.Emit({661, 10001, a, two});
  b.Emit({151, x, 10001});
  // After the array is released the reference is gone: the temporary itself gets the item.
  b.Emit({506, a});
  b.Emit({33, 10000});
  b.Emit({671, 12001, s, two});
  EXPECT_TRUE(run.LoadAndRun(b));
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ProgramRun::Int(x), 42);
  EXPECT_EQ(ProgramRun::Text(12001), "word");
  EXPECT_EQ(ProgramRun::Int(10000), 0);
}

// For each type: a READ on an item of another type and a READ past the end both replace the
// value the variable held with 0 or the empty text; a matching item replaces it too.
TEST(Data, EveryReadReplacesTheValueHeld) {
  for (int32_t type = 0; type < 3; ++type) {
    SCOPED_TRACE(type);
    ProgramRun run;
    ImageBuilder b;
    if (type == 0) b.DataFloat(2.5f);
    else b.DataInt(7);
    int32_t v[3];
    for (int32_t& var : v) {
      var = type == 0 ? b.IntVar() : type == 1 ? b.FloatVar() : b.StringVar();
      const int32_t held = type == 0 ? b.Int(99) : type == 1 ? b.Float(9.5f) : b.Text("held");
      b.Emit({151 + type, var, held});
    }
    if (type == 0) b.DataInt(5);
    else if (type == 1) b.DataFloat(1.5f);
    else b.DataText("item");
    for (int32_t var : v) b.Emit({33 + type, var});
    EXPECT_TRUE(run.LoadAndRun(b));
    EXPECT_EQ(g_dataReadPosition, 2);
    if (type == 0) {
      EXPECT_EQ(ProgramRun::Int(v[0]), 0);
      EXPECT_EQ(ProgramRun::Int(v[1]), 5);
      EXPECT_EQ(ProgramRun::Int(v[2]), 0);
    } else if (type == 1) {
      EXPECT_EQ(ProgramRun::Float(v[0]), 0.0f);
      EXPECT_EQ(ProgramRun::Float(v[1]), 1.5f);
      EXPECT_EQ(ProgramRun::Float(v[2]), 0.0f);
    } else {
      EXPECT_EQ(ProgramRun::Text(v[0]), "");
      EXPECT_EQ(ProgramRun::Text(v[1]), "item");
      EXPECT_EQ(ProgramRun::Text(v[2]), "");
    }
  }
}

}  // namespace
