// The standard sequences' bodies for a device whose pack defines none, written in the sequence
// language itself so they run, trace and fail exactly as a pack's own would.
extern const char *const kDefaultSequencesXml;

const char *const kDefaultSequencesXml = R"xml(<sequences>
<sequence name="DebugPortSetup">
  <block>
    __var isSWJ = (__protocol &amp; 0x00010000) != 0;
    __var protType = __protocol &amp; 0xFFFF;
  </block>
  <control if="protType != 2">
    <block>Message(2, "protocol %d is not SWD", protType);</block>
  </control>
  <control if="isSWJ">
    <block atomic="1">
      DAP_SWJ_Sequence(51, 0x0007FFFFFFFFFFFF); // line reset in whichever mode it is
      DAP_SWJ_Sequence(16, 0xE79E);             // JTAG to SWD
    </block>
  </control>
  <block atomic="1">
    DAP_SWJ_Sequence(51, 0x0007FFFFFFFFFFFF);
    DAP_SWJ_Sequence(8, 0x00);
    ReadDP(0x0);                                // IDCODE ends the line reset
  </block>
</sequence>
<sequence name="DebugPortStart">
  <block>
    WriteDP(0x0, 0x0000001E);                   // clear sticky errors left by a former run
    WriteDP(0x8, 0x00000000);
    __var poweredDown = (ReadDP(0x4) &amp; 0xA0000000) != 0xA0000000;
  </block>
  <control if="poweredDown">
    <block>WriteDP(0x4, 0x50000000);</block>
    <control while="(ReadDP(0x4) &amp; 0xA0000000) != 0xA0000000" timeout="1000000"/>
  </control>
</sequence>
<sequence name="DebugPortStop">
  <block>
    WriteDP(0x8, 0x00000000);
    WriteDP(0x4, 0x00000000);
  </block>
</sequence>
<sequence name="DebugDeviceUnlock"/>
<sequence name="DebugCodeMemRemap"/>
<sequence name="DebugCoreStart">
  <block>Write32(0xE000EDF0, 0xA05F0001);</block>
</sequence>
<sequence name="DebugCoreStop">
  <block>
    Write32(0xE000EDFC, Read32(0xE000EDFC) &amp; 0x01000000); // no vector catch left behind
    Write32(0xE000EDF0, 0xA05F0000);
  </block>
</sequence>
<sequence name="ResetSystem">
  <block>
    Read32(0xE000EDF0);                         // a stale S_RESET_ST would pass for this reset
    __errorcontrol = 1;
    Write32(0xE000ED0C, 0x05FA0004);            // SYSRESETREQ; its reply may be lost to the reset
    __var dhcsr = 0;
    __var seen = 0;
    __var tries = 0;
  </block>
  <control while="!seen &amp;&amp; tries &lt; 50">
    <block>
      dhcsr = Read32(0xE000EDF0);
      seen = __Result == 0 &amp;&amp; (dhcsr &amp; 0x02000000) != 0;
      tries += 1;
    </block>
    <control if="!seen"><block>DAP_Delay(10000);</block></control>
  </control>
  <block>__errorcontrol = 0;</block>
  <control if="!seen">
    <block>Message(2, "the chip did not reset: DHCSR S_RESET_ST stayed 0 (DHCSR 0x%08X)", dhcsr);</block>
  </control>
</sequence>
<sequence name="ResetProcessor">
  <block>
    Read32(0xE000EDF0);
    __errorcontrol = 1;
    Write32(0xE000ED0C, 0x05FA0001);            // VECTRESET
    __var dhcsr = 0;
    __var seen = 0;
    __var tries = 0;
  </block>
  <control while="!seen &amp;&amp; tries &lt; 50">
    <block>
      dhcsr = Read32(0xE000EDF0);
      seen = __Result == 0 &amp;&amp; (dhcsr &amp; 0x02000000) != 0;
      tries += 1;
    </block>
    <control if="!seen"><block>DAP_Delay(10000);</block></control>
  </control>
  <block>__errorcontrol = 0;</block>
  <control if="!seen">
    <block>Message(2, "the core did not reset: DHCSR S_RESET_ST stayed 0 (DHCSR 0x%08X)", dhcsr);</block>
  </control>
</sequence>
<sequence name="ResetHardware">
  <block>
    DAP_SWJ_Pins(0x00, 0x80, 0);                // nRESET low
    DAP_Delay(50000);
    DAP_SWJ_Pins(0x80, 0x80, 0);
  </block>
  <control while="(DAP_SWJ_Pins(0x80, 0x80, 0) &amp; 0x80) == 0" timeout="1000000"/>
  <block>DAP_Delay(10000);                     // the part's own reset extension</block>
</sequence>
<sequence name="ResetHardwareAssert">
  <block>DAP_SWJ_Pins(0x00, 0x80, 0);</block>
</sequence>
<sequence name="ResetHardwareDeassert">
  <block>DAP_SWJ_Pins(0x80, 0x80, 0);</block>
  <control while="(DAP_SWJ_Pins(0x80, 0x80, 0) &amp; 0x80) == 0" timeout="1000000"/>
</sequence>
<sequence name="ResetCatchSet">
  <block>
    Write32(0xE000EDFC, Read32(0xE000EDFC) | 0x00000001); // VC_CORERESET
    Read32(0xE000EDF0);                         // clears S_RESET_ST before the reset
  </block>
</sequence>
<sequence name="ResetCatchClear">
  <block>Write32(0xE000EDFC, Read32(0xE000EDFC) &amp; ~0x00000001);</block>
</sequence>
<sequence name="FlashInit"/>
<sequence name="FlashUninit"/>
<sequence name="FlashEraseDone"/>
<sequence name="FlashProgramDone"/>
<sequence name="TraceStart"/>
<sequence name="TraceStop"/>
<sequence name="RecoverySupportStart"/>
<sequence name="RecoverySupportStop"/>
</sequences>
)xml";
