#include <gtest/gtest.h>

#include "engine/ProcessState.h"

namespace orvenna {
namespace {

TEST(StopState, EachChangeKeepsWhatItDoesNotName) {
  StopState state;
  StopRequestField request{state};
  EXPECT_FALSE(state.Recording());
  EXPECT_EQ(request, TStopRequest::None);

  request = TStopRequest::Cancel;  // a rerun's request, before its start
  state.StartRecording();
  EXPECT_TRUE(state.Recording());
  EXPECT_EQ(request, TStopRequest::Cancel);

  state.SetRequest(TStopRequest::Stop);  // Shift+Esc, before the recording is ended
  EXPECT_TRUE(state.Recording());
  state.EndRecording();
  EXPECT_FALSE(state.Recording());
  EXPECT_EQ(state.Request(), TStopRequest::Stop);

  state.StartRecording();
  state.End(TStopRequest::Cancel);
  EXPECT_FALSE(state.Recording());
  EXPECT_EQ(request, TStopRequest::Cancel);

  state.Reset();
  EXPECT_FALSE(state.Recording());
  EXPECT_EQ(request, TStopRequest::None);
}

}  // namespace
}  // namespace orvenna
