<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
    <context>
        <name>AddressDlg</name>
        <message>
            <source>添加烧写地址</source>
            <translation>Add Flash Address</translation>
        </message>
        <message>
            <source>烧写地址(HEX)</source>
            <translation>Flash address (HEX)</translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>警告</source>
            <translation>Warning</translation>
        </message>
    </context>
    <context>
        <name>CRC32Dlg</name>
        <message>
            <source>配置计算CRC-32的首地址和大小</source>
            <translation>Start Address and Size for CRC-32</translation>
        </message>
        <message>
            <source>  地址(HEX) </source>
            <translation>  Address (HEX) </translation>
        </message>
        <message>
            <source>  大小(HEX) </source>
            <translation>  Size (HEX) </translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
    </context>
    <context>
        <name>FlashMapDlg</name>
        <message>
            <source>烧录地图</source>
            <translation>Flash map</translation>
        </message>
        <message>
            <source>关闭</source>
            <translation>Close</translation>
        </message>
    </context>
    <context>
        <name>FlashPlan</name>
        <message>
            <source>全擦除</source>
            <translation>Full erase</translation>
        </message>
        <message>
            <source>扇区擦除</source>
            <translation>Sector erase</translation>
        </message>
        <message>
            <source>自动擦除（至多这些扇区，只擦除内容不同的）</source>
            <translation>Auto erase (at most these sectors, only those whose content differs)</translation>
        </message>
        <message>
            <source>不擦除</source>
            <translation>Do not erase</translation>
        </message>
        <message>
            <source>擦除方式：%1    烧写：%2</source>
            <translation>Erase: %1    Program: %2</translation>
        </message>
        <message>
            <source>是</source>
            <translation>yes</translation>
        </message>
        <message>
            <source>否</source>
            <translation>no</translation>
        </message>
        <message>
            <source>超出范围</source>
            <translation>outside the memory</translation>
        </message>
        <message>
            <source>文件</source>
            <translation>File</translation>
        </message>
        <message>
            <source>擦除范围</source>
            <translation>Erase range</translation>
        </message>
        <message>
            <source>滚码</source>
            <translation>Rolling code</translation>
        </message>
        <message>
            <source>问题</source>
            <translation>Problem</translation>
        </message>
        <message>
            <source>没有发现问题</source>
            <translation>No problems found</translation>
        </message>
        <message>
            <source>（有问题）</source>
            <translation>(problem)</translation>
        </message>
        <message>
            <source>不是扇区擦除时最多烧写7个文件，现有%1个</source>
            <translation>Without sector erase at most 7 files can be programmed; the job has %1</translation>
        </message>
        <message>
            <source>芯片从APROM启动，LDROM文件%1超出8KB：%2</source>
            <translation>The chip boots from APROM and LDROM file %1 exceeds 8 KB: %2</translation>
        </message>
        <message>
            <source>芯片从LDROM启动，文件%1超出8KB：%2</source>
            <translation>The chip boots from LDROM and file %1 exceeds 8 KB: %2</translation>
        </message>
        <message>
            <source>文件%1超出%2范围：%3</source>
            <translation>File %1 runs past the end of %2: %3</translation>
        </message>
        <message>
            <source>文件%1与文件%2重叠：%3</source>
            <translation>File %1 overlaps file %2: %3</translation>
        </message>
        <message>
            <source>滚码%1位于文件%2内</source>
            <translation>Rolling code at %1 lies inside file %2</translation>
        </message>
        <message>
            <source>滚码%1不在APROM或LDROM内</source>
            <translation>Rolling code at %1 is outside APROM and LDROM</translation>
        </message>
        <message>
            <source>擦除</source>
            <translation>Erase</translation>
        </message>
        <message>
            <source>文件%1</source>
            <translation>File %1</translation>
        </message>
        <message>
            <source>长度：%1</source>
            <translation>Length: %1</translation>
        </message>
        <message>
            <source>CRC-32：%1</source>
            <translation>CRC-32: %1</translation>
        </message>
    </context>
    <context>
        <name>MD5Dlg</name>
        <message>
            <source>配置计算MD5的首地址和大小</source>
            <translation>Start Address and Size for MD5</translation>
        </message>
        <message>
            <source>  地址(HEX) </source>
            <translation>  Address (HEX) </translation>
        </message>
        <message>
            <source>  大小(HEX) </source>
            <translation>  Size (HEX) </translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
    </context>
    <context>
        <name>MainWindow</name>
        <message>
            <source>自检与芯片ID…</source>
            <translation>Self-test and chip ID…</translation>
        </message>
        <message>
            <source>烧录复位后经RTT读取板上自检的结果，读出芯片唯一ID记入生产记录</source>
            <translation>After programming and reset, read the board's self-test result over RTT; read the chip's unique ID into the production record</translation>
        </message>
        <message>
            <source>只有经CMSIS-DAP（SWD）烧录有自检和芯片ID</source>
            <translation>Only programming through CMSIS-DAP (SWD) has the self-test and chip ID</translation>
        </message>
        <message>
            <source>MainWindow</source>
            <translation>MainWindow</translation>
        </message>
        <message>
            <source>Quorvel</source>
            <translation>Quorvel</translation>
        </message>
        <message>
            <source>Firmware Version:</source>
            <translation>Firmware Version:</translation>
        </message>
        <message>
            <source>Unconnected</source>
            <translation>Unconnected</translation>
        </message>
        <message>
            <source>Configuration</source>
            <translation>Configuration</translation>
        </message>
        <message>
            <source>Full Erase</source>
            <translation>Full Erase</translation>
        </message>
        <message>
            <source>Sector Erase</source>
            <translation>Sector Erase</translation>
        </message>
        <message>
            <source>Do not Erase</source>
            <translation>Do not Erase</translation>
        </message>
        <message>
            <source>Program</source>
            <translation>Program</translation>
        </message>
        <message>
            <source>Verify</source>
            <translation>Verify</translation>
        </message>
        <message>
            <source>Reset and run</source>
            <translation>Reset and run</translation>
        </message>
        <message>
            <source>          Chip:</source>
            <translation>          Chip:</translation>
        </message>
        <message>
            <source>Unselected</source>
            <translation>Unselected</translation>
        </message>
        <message>
            <source>QA12</source>
            <translation>QA12</translation>
        </message>
        <message>
            <source>QB24</source>
            <translation>QB24</translation>
        </message>
        <message>
            <source>QB48</source>
            <translation>QB48</translation>
        </message>
        <message>
            <source>QC16/18</source>
            <translation>QC16/18</translation>
        </message>
        <message>
            <source>QD52</source>
            <translation>QD52</translation>
        </message>
        <message>
            <source>QC18/19</source>
            <translation>QC18/19</translation>
        </message>
        <message>
            <source>读保护Level-0</source>
            <translation>Read protect Level-0</translation>
        </message>
        <message>
            <source>读保护Level-1</source>
            <translation>Read protect Level-1</translation>
        </message>
        <message>
            <source>读保护Level-2</source>
            <translation>Read protect Level-2</translation>
        </message>
        <message>
            <source>RollingCode</source>
            <translation>RollingCode</translation>
        </message>
        <message>
            <source>Rolling Code(HEX) </source>
            <translation>Rolling Code(HEX) </translation>
        </message>
        <message>
            <source>Flash Address(HEX)</source>
            <translation>Flash Address(HEX)</translation>
        </message>
        <message>
            <source>Steps(HEX)        </source>
            <translation>Steps(HEX)        </translation>
        </message>
        <message>
            <source>Watchdog Option</source>
            <translation>Watchdog Option</translation>
        </message>
        <message>
            <source>Enable</source>
            <translation>Enable</translation>
        </message>
        <message>
            <source>Disable</source>
            <translation>Disable</translation>
        </message>
        <message>
            <source>Program File</source>
            <translation>Program File</translation>
        </message>
        <message>
            <source>Add</source>
            <translation>Add</translation>
        </message>
        <message>
            <source>Remove</source>
            <translation>Remove</translation>
        </message>
        <message>
            <source>Start</source>
            <translation>Start</translation>
        </message>
        <message>
            <source>Offline Program</source>
            <translation>Offline Program</translation>
        </message>
        <message>
            <source>Remote File</source>
            <translation>Remote File</translation>
        </message>
        <message>
            <source>ICP Info</source>
            <translation>ICP Info</translation>
        </message>
        <message>
            <source>Chip Info</source>
            <translation>Chip Info</translation>
        </message>
        <message>
            <source>Help</source>
            <translation>Help</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; 文件与芯片数据一致！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; Files match the chip contents! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 未连接! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Not connected! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 未选择文件！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; No file selected! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 未找到芯片！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Chip not found! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 文件与芯片数据不一致！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Files differ from the chip contents! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片读保护！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Chip is read-protected! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片型号错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Wrong chip model! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 其他错误! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Other error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 未选择芯片型号! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; No chip model selected! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 已加密，无法读取！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Chip is protected and cannot be read! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 读取数据发生错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Error while reading data! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 传输错误，请重新连接后再尝试！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Transfer error, please reconnect and try again! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>未连接</source>
            <translation>Unconnected</translation>
        </message>
        <message>
            <source>开始</source>
            <translation>Start</translation>
        </message>
        <message>
            <source>固件版本：</source>
            <translation>Firmware version:</translation>
        </message>
        <message>
            <source>配置</source>
            <translation>Configuration</translation>
        </message>
        <message>
            <source>      芯片型号</source>
            <translation>      Chip model</translation>
        </message>
        <message>
            <source>全擦除</source>
            <translation>Full erase</translation>
        </message>
        <message>
            <source>扇区擦除</source>
            <translation>Sector erase</translation>
        </message>
        <message>
            <source>不擦除</source>
            <translation>Do not erase</translation>
        </message>
        <message>
            <source>烧写</source>
            <translation>Program</translation>
        </message>
        <message>
            <source>校验</source>
            <translation>Verify</translation>
        </message>
        <message>
            <source>复位运行</source>
            <translation>Reset and run</translation>
        </message>
        <message>
            <source>滚码</source>
            <translation>Rolling code</translation>
        </message>
        <message>
            <source>滚码值(HEX)      </source>
            <translation>Rolling code (HEX)      </translation>
        </message>
        <message>
            <source>滚码地址(HEX)    </source>
            <translation>Flash address (HEX)    </translation>
        </message>
        <message>
            <source>滚码步进(HEX)    </source>
            <translation>Step (HEX)    </translation>
        </message>
        <message>
            <source>看门狗选项</source>
            <translation>Watchdog option</translation>
        </message>
        <message>
            <source>打开</source>
            <translation>Enable</translation>
        </message>
        <message>
            <source>关闭</source>
            <translation>Disable</translation>
        </message>
        <message>
            <source>烧录文件</source>
            <translation>Program files</translation>
        </message>
        <message>
            <source>添加</source>
            <translation>Add</translation>
        </message>
        <message>
            <source>删除</source>
            <translation>Remove</translation>
        </message>
        <message>
            <source>删除</source>
            <comment>offline job</comment>
            <translation>Delete</translation>
        </message>
        <message>
            <source>配置</source>
            <comment>offline job</comment>
            <translation>Settings</translation>
        </message>
        <message>
            <source>文件名</source>
            <translation>File name</translation>
        </message>
        <message>
            <source>FLASH地址</source>
            <translation>Flash address</translation>
        </message>
        <message>
            <source>大小</source>
            <translation>Size</translation>
        </message>
        <message>
            <source>脱机烧录</source>
            <translation>Offline programming</translation>
        </message>
        <message>
            <source>远程文件</source>
            <translation>Remote file</translation>
        </message>
        <message>
            <source>烧录器信息</source>
            <translation>Probe info</translation>
        </message>
        <message>
            <source>芯片信息</source>
            <translation>Chip info</translation>
        </message>
        <message>
            <source>帮助</source>
            <translation>Help</translation>
        </message>
        <message>
            <source>脱机烧录配置</source>
            <translation>Offline Programming Settings</translation>
        </message>
        <message>
            <source>删除烧录文件</source>
            <translation>Erase the programming file stored in the probe</translation>
        </message>
        <message>
            <source>校验文件</source>
            <translation>Verify files</translation>
        </message>
        <message>
            <source>校验芯片数据和文件是否一致</source>
            <translation>Check that the chip contents match the files</translation>
        </message>
        <message>
            <source>MD5</source>
            <translation>MD5</translation>
        </message>
        <message>
            <source>读取指定位置的MD5值</source>
            <translation>Read the MD5 of a flash range</translation>
        </message>
        <message>
            <source>CRC-32</source>
            <translation>CRC-32</translation>
        </message>
        <message>
            <source>读取指定位置的CRC-32值，多项式：0x04C11DB7</source>
            <translation>Read the CRC-32 of a flash range, polynomial: 0x04C11DB7</translation>
        </message>
        <message>
            <source>CRC-32文件</source>
            <translation>CRC-32 of files</translation>
        </message>
        <message>
            <source>读取所有文件的CRC-32值，多项式：0x04C11DB7</source>
            <translation>Compute the CRC-32 of every file, polynomial: 0x04C11DB7</translation>
        </message>
        <message>
            <source>信息</source>
            <translation>Information</translation>
        </message>
        <message>
            <source>已连接</source>
            <translation>Connected</translation>
        </message>
        <message>
            <source>警告</source>
            <translation>Warning</translation>
        </message>
        <message>
            <source>最大支持10个烧录文件</source>
            <translation>At most 10 program files are supported</translation>
        </message>
        <message>
            <source>文件解析错误！</source>
            <translation>The file could not be parsed!</translation>
        </message>
        <message>
            <source>该文件烧录地址处于上一个文件烧录范围内</source>
            <translation>This file's flash address lies inside the range of the previous file</translation>
        </message>
        <message>
            <source>文件解析错误</source>
            <translation>The file could not be parsed</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; 固件版本小于1.96，不支持该功能! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; Firmware older than 1.96 does not support this function! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 大小为0! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Size is 0! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 地址非4字节对齐！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Address is not 4-byte aligned! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 大小非4字节对齐！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Size is not 4-byte aligned! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>起始地址0x</source>
            <translation>Start address 0x</translation>
        </message>
        <message>
            <source>，大小0x</source>
            <translation>, size 0x</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; %1 &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; %1 &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>。MD5值为：</source>
            <translation>. MD5: </translation>
        </message>
        <message>
            <source>。CRC-32为：0x</source>
            <translation>. CRC-32: 0x</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 没有文件! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; No files! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>文件1的CRC-32为：0x</source>
            <translation>CRC-32 of file 1: 0x</translation>
        </message>
        <message>
            <source>&lt;br&gt;文件%1的CRC-32为：0x</source>
            <translation>&lt;br&gt;CRC-32 of file %1: 0x</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; 如果芯片处于读保护状态，请选择全擦除。 &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; If the chip is read-protected, please choose full erase. &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; 擦除成功！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; Erased successfully! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 擦除失败! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Erase failed! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; 固件版本小于1.95，不支持烧录QD52! &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; Firmware older than 1.95 cannot program QD52! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; FLASH不可读，可以通过SWD解锁。(SWDCLK必须上拉) &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; Flash becomes unreadable; it can be unlocked over SWD. (SWDCLK must be pulled up) &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#FF3300' size='+2' face='新宋体'&gt;&lt;b&gt; FLASH不可读，且无法解锁，请谨慎使用！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#FF3300' size='+2' face='新宋体'&gt;&lt;b&gt; Flash becomes unreadable and can never be unlocked. Use with care! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt;除非需要打开或关闭看门狗，否则不要打开这个选项。请再次确认?(看门狗复位时间约为0.6秒)</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt;Do not enable this option unless you need to switch the watchdog on or off. Confirm again?(Watchdog reset time is about 0.6 s)</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt;除非需要打开或关闭看门狗，否则不要打开这个选项。请再次确认?(看门狗复位时间约为2秒)</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt;Do not enable this option unless you need to switch the watchdog on or off. Confirm again?(Watchdog reset time is about 2 s)</translation>
        </message>
        <message>
            <source>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; 烧写成功！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#6688DD' size='+2' face='新宋体'&gt;&lt;b&gt; Programmed successfully! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 请确认烧录器和待编程芯片正确连接！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Check that the probe and the target chip are connected properly! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片识别错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Chip identification error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 没有文件或滚码！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; No file and no rolling code! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 擦除错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Erase error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 烧写错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Programming error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 滚码错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Rolling code error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片读保护，请选择全擦除！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; The chip is read-protected, choose full erase! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片从LDROM启动，LDROM的bin文件超出8KB！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; The chip boots from LDROM and the LDROM bin file exceeds 8 KB! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片从APROM启动，LDROM的bin文件超出8KB！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; The chip boots from APROM and the LDROM bin file exceeds 8 KB! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 芯片探测错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Chip detection error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 超过7个烧录文件时请选择扇区擦除！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; With more than 7 files, choose sector erase! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; 其他错误！ &lt;/b&gt;&lt;/font&gt;</source>
            <translation>&lt;font color='#DD6622' size='+2' face='新宋体'&gt;&lt;b&gt; Other error! &lt;/b&gt;&lt;/font&gt;</translation>
        </message>
        <message>
            <source>开始传输数据</source>
            <translation>Start transferring data</translation>
        </message>
        <message>
            <source>工程</source>
            <translation>Project</translation>
        </message>
        <message>
            <source>打开工程…</source>
            <translation>Open job…</translation>
        </message>
        <message>
            <source>打开保存的工程，恢复选项和烧录文件</source>
            <translation>Open a saved job: its options and program files</translation>
        </message>
        <message>
            <source>保存工程…</source>
            <translation>Save job…</translation>
        </message>
        <message>
            <source>把当前的选项和烧录文件保存为工程文件</source>
            <translation>Save the current options and program files as a job file</translation>
        </message>
        <message>
            <source>保存工程</source>
            <translation>Save job</translation>
        </message>
        <message>
            <source>打开工程</source>
            <translation>Open job</translation>
        </message>
        <message>
            <source>工程文件 (*.json)</source>
            <translation>Job files (*.json)</translation>
        </message>
        <message>
            <source>工程的芯片型号是%1，本程序只能烧录%2</source>
            <translation>The job is for %1; this program programs %2 only</translation>
        </message>
        <message>
            <source>工程中的BIN文件没有烧录地址：%1</source>
            <translation>A BIN file of the job has no flash address: %1</translation>
        </message>
        <message>
            <source>工程保存后文件已改变：%1
仍然使用这个文件吗？</source>
            <translation>The file changed after the job was saved: %1
Use it anyway?</translation>
        </message>
        <message>
            <source>生产记录…</source>
            <translation>Production record…</translation>
        </message>
        <message>
            <source>查看烧录记录、良率，导出CSV</source>
            <translation>View the programming record and the yield, export CSV</translation>
        </message>
        <message>
            <source>电脑分配</source>
            <translation>Ledger</translation>
        </message>
        <message>
            <source>由生产记录分配每次烧录的滚码值，每个值只用一次</source>
            <translation>The production record assigns each run's rolling-code value; every value is used once</translation>
        </message>
        <message>
            <source>生产记录无法写入，未开始烧录：%1</source>
            <translation>The production record cannot be written; programming not started: %1</translation>
        </message>
        <message>
            <source>滚码分配失败，未开始烧录：%1</source>
            <translation>No rolling-code value could be assigned; programming not started: %1</translation>
        </message>
        <message>
            <source>通过 %1  失败 %2  良率 %3</source>
            <translation>Pass %1  Fail %2  Yield %3</translation>
        </message>
        <message>
            <source>本次结果未写入生产记录：%1</source>
            <translation>This result was not written to the production record: %1</translation>
        </message>
        <message>
            <source>生产记录无法打开：%1</source>
            <translation>The production record cannot be opened: %1</translation>
        </message>
        <message>
            <source>烧录地图</source>
            <translation>Flash map</translation>
        </message>
        <message>
            <source>查看文件、擦除范围和滚码在芯片上的位置</source>
            <translation>Show where the files, the erase ranges and the rolling code land on the chip</translation>
        </message>
        <message>
            <source>自动烧录</source>
            <translation>Auto-program when a chip is attached</translation>
        </message>
        <message>
            <source>芯片接上时自动烧录，取下后等待下一块</source>
            <translation>Program each chip as it is attached, then wait until it is removed</translation>
        </message>
        <message>
            <source>自动烧录：等待芯片</source>
            <translation>Auto-program: waiting for a chip</translation>
        </message>
        <message>
            <source>自动烧录：烧写中</source>
            <translation>Auto-program: programming</translation>
        </message>
        <message>
            <source>自动烧录：%1 请取下芯片</source>
            <translation>Auto-program: %1 Remove the chip</translation>
        </message>
        <message>
            <source>工程经CMSIS-DAP烧录器（SWD）烧写，窗口只用专用烧录器：请用quorvel-cli program --job运行</source>
            <translation>This job runs through a CMSIS-DAP probe (SWD); the window uses the dedicated probe only: run it with quorvel-cli program --job</translation>
        </message>
        <message>
            <source>烧录途径</source>
            <translation>Programming path</translation>
        </message>
        <message>
            <source>专用探针</source>
            <translation>Dedicated probe</translation>
        </message>
        <message>
            <source>CMSIS-DAP/SWD</source>
            <translation>CMSIS-DAP/SWD</translation>
        </message>
        <message>
            <source>经任何CMSIS-DAP烧录器（SWD）烧写，器件取自设备包</source>
            <translation>Program through any CMSIS-DAP probe (SWD), the device from a pack</translation>
        </message>
        <message>
            <source>器件…</source>
            <translation>Device…</translation>
        </message>
        <message>
            <source>从设备包选择要烧录的器件</source>
            <translation>Choose the device to program from a pack</translation>
        </message>
        <message>
            <source>读出…</source>
            <translation>Read out…</translation>
        </message>
        <message>
            <source>经SWD读出一段FLASH或RAM，存为.bin或.hex文件</source>
            <translation>Read a range of flash or RAM over SWD into a .bin or .hex file</translation>
        </message>
        <message>
            <source>自动擦除</source>
            <translation>Auto erase</translation>
        </message>
        <message>
            <source>已是目标内容的扇区跳过，空白扇区不擦除直接烧写</source>
            <translation>Sectors already holding the image are skipped, blank ones programmed without an erase</translation>
        </message>
        <message>
            <source>CRC校验</source>
            <translation>CRC verify</translation>
        </message>
        <message>
            <source>读回校验</source>
            <translation>Read-back verify</translation>
        </message>
        <message>
            <source>CRC校验在芯片上按扇区算CRC-32；读回校验读回每个字节比较</source>
            <translation>CRC verify computes a CRC-32 per sector on the chip; read-back verify reads every byte back</translation>
        </message>
        <message>
            <source>只有专用烧录器有这个选项</source>
            <translation>Only the dedicated probe has this option</translation>
        </message>
        <message>
            <source>经SWD烧写的器件在“器件…”中选择</source>
            <translation>Over SWD the device is chosen under “Device…”</translation>
        </message>
        <message>
            <source>CMSIS-DAP：</source>
            <translation>CMSIS-DAP:</translation>
        </message>
        <message>
            <source>%1 — CMSIS-DAP/SWD：%2</source>
            <translation>%1 — CMSIS-DAP/SWD: %2</translation>
        </message>
        <message>
            <source>未找到CMSIS-DAP烧录器</source>
            <translation>No CMSIS-DAP probe found</translation>
        </message>
        <message>
            <source>%1  %2（%3）</source>
            <translation>%1  %2 (%3)</translation>
        </message>
        <message>
            <source>CMSIS-DAP烧录器</source>
            <translation>CMSIS-DAP probes</translation>
        </message>
        <message>
            <source>选择烧录器：</source>
            <translation>Choose a probe:</translation>
        </message>
        <message>
            <source>CMSIS-DAP烧录器无法打开：%1</source>
            <translation>The CMSIS-DAP probe cannot be opened: %1</translation>
        </message>
        <message>
            <source>%1 %2</source>
            <translation>%1 %2</translation>
        </message>
        <message>
            <source>v2 (bulk)</source>
            <translation>v2 (bulk)</translation>
        </message>
        <message>
            <source>v1 (HID)</source>
            <translation>v1 (HID)</translation>
        </message>
        <message>
            <source>CMSIS-DAP烧录器已拔出，已断开连接</source>
            <translation>The CMSIS-DAP probe was pulled out and is disconnected</translation>
        </message>
        <message>
            <source>请先连接CMSIS-DAP烧录器</source>
            <translation>Connect a CMSIS-DAP probe first</translation>
        </message>
        <message>
            <source>经CMSIS-DAP烧录滚码需要勾选“电脑分配”</source>
            <translation>A rolling code over CMSIS-DAP needs “Assigned by the PC”</translation>
        </message>
        <message>
            <source>&lt;br&gt;擦除%1个扇区，烧写%2个，跳过%3个（内容已相同）</source>
            <translation>&lt;br&gt;%1 sectors erased, %2 programmed, %3 skipped (already the same)</translation>
        </message>
        <message>
            <source>SWD错误%1：%2</source>
            <translation>SWD error %1: %2</translation>
        </message>
        <message>
            <source>起始地址和长度必须是十六进制数</source>
            <translation>The start address and the length must be hexadecimal numbers</translation>
        </message>
        <message>
            <source>读出到文件</source>
            <translation>Read out to file</translation>
        </message>
        <message>
            <source>读出文件 (*.bin *.hex)</source>
            <translation>Read-out files (*.bin *.hex)</translation>
        </message>
        <message>
            <source>读出的文件必须是.bin或.hex：%1</source>
            <translation>The read-out file must be .bin or .hex: %1</translation>
        </message>
        <message>
            <source>芯片拒绝读出%1起的%2字节（读保护？）：%3</source>
            <translation>The chip refused to read %2 bytes from %1 (read protection?): %3</translation>
        </message>
        <message>
            <source>无法写入文件：%1</source>
            <translation>Cannot write the file: %1</translation>
        </message>
        <message>
            <source>已读出%1起的%2字节到%3</source>
            <translation>Read %2 bytes from %1 into %3</translation>
        </message>
        <message>
            <source>经CMSIS-DAP烧录器（SWD）的工程不能设置读保护、看门狗或脱机烧录</source>
            <translation>A job through a CMSIS-DAP probe (SWD) cannot set read protection, the watchdog or offline programming</translation>
        </message>
        <message>
            <source>产线…</source>
            <translation>Station…</translation>
        </message>
        <message>
            <source>打开工程，在多个烧录器上同时烧录</source>
            <translation>Open a job and program it on several probes at once</translation>
        </message>
        <message>
            <source>请先断开烧录器，产线会连接每一个烧录器</source>
            <translation>Disconnect the probe first: the station connects to every probe</translation>
        </message>
    </context>
    <context>
        <name>OfflineDlg</name>
        <message>
            <source>脱机烧录配置</source>
            <translation>Offline Programming Settings</translation>
        </message>
        <message>
            <source>打开脱机烧写功能</source>
            <translation>Enable offline programming</translation>
        </message>
        <message>
            <source>烧写次数(十进制)</source>
            <translation>Program count (decimal)</translation>
        </message>
        <message>
            <source>自动烧写时间(毫秒)</source>
            <translation>Auto-program interval (ms)</translation>
        </message>
        <message>
            <source>机台烧录</source>
            <translation>Machine programming</translation>
        </message>
        <message>
            <source>强制烧写脱机文件</source>
            <translation>Force offline programming</translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>警告</source>
            <translation>Warning</translation>
        </message>
    </context>
    <context>
        <name>PasswordDlg</name>
        <message>
            <source>输入读保护Level-2密码(文档中)</source>
            <translation>Enter the read-protection Level-2 password (see documentation)</translation>
        </message>
        <message>
            <source>密码(HEX)</source>
            <translation>Password(HEX)</translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
    </context>
    <context>
        <name>RecordDb</name>
        <message>
            <source>已预留</source>
            <translation>reserved</translation>
        </message>
        <message>
            <source>已使用</source>
            <translation>used</translation>
        </message>
        <message>
            <source>已作废</source>
            <translation>voided</translation>
        </message>
        <message>
            <source>地址0x%1的滚码值0x%2已分配给烧录记录%3（%4），不会重复分配</source>
            <translation>rolling-code value 0x%2 at address 0x%1 already went to run %3 (%4); a value is never issued twice</translation>
        </message>
    </context>
    <context>
        <name>RecordDlg</name>
        <message>
            <source>生产记录</source>
            <translation>Production record</translation>
        </message>
        <message>
            <source>成功</source>
            <translation>Passed</translation>
        </message>
        <message>
            <source>失败</source>
            <translation>Failed</translation>
        </message>
        <message>
            <source>中断</source>
            <translation>Interrupted</translation>
        </message>
        <message>
            <source>进行中</source>
            <translation>Running</translation>
        </message>
        <message>
            <source>%1：通过 %2  失败 %3  良率 %4</source>
            <translation>%1: pass %2  fail %3  yield %4</translation>
        </message>
        <message>
            <source>导出CSV…</source>
            <translation>Export CSV…</translation>
        </message>
        <message>
            <source>较新</source>
            <translation>Newer</translation>
        </message>
        <message>
            <source>较早</source>
            <translation>Older</translation>
        </message>
        <message>
            <source>更改…</source>
            <translation>Change…</translation>
        </message>
        <message>
            <source>关闭</source>
            <translation>Close</translation>
        </message>
        <message>
            <source>开始时间</source>
            <translation>Start time</translation>
        </message>
        <message>
            <source>烧录器</source>
            <translation>Probe</translation>
        </message>
        <message>
            <source>滚码</source>
            <translation>Rolling code</translation>
        </message>
        <message>
            <source>结果</source>
            <translation>Result</translation>
        </message>
        <message>
            <source>消息</source>
            <translation>Message</translation>
        </message>
        <message>
            <source>数据库：%1</source>
            <translation>Database: %1</translation>
        </message>
        <message>
            <source>生产记录无法打开：%1</source>
            <translation>The production record cannot be opened: %1</translation>
        </message>
        <message>
            <source>当前工程</source>
            <translation>Current job</translation>
        </message>
        <message>
            <source>今日</source>
            <translation>Today</translation>
        </message>
        <message>
            <source>导出CSV</source>
            <translation>Export CSV</translation>
        </message>
        <message>
            <source>CSV文件 (*.csv)</source>
            <translation>CSV files (*.csv)</translation>
        </message>
        <message>
            <source>警告</source>
            <translation>Warning</translation>
        </message>
        <message>
            <source>导出失败：%1</source>
            <translation>Export failed: %1</translation>
        </message>
        <message>
            <source>信息</source>
            <translation>Information</translation>
        </message>
        <message>
            <source>已导出%1条记录</source>
            <translation>%1 runs exported</translation>
        </message>
        <message>
            <source>生产记录位置</source>
            <translation>Production record location</translation>
        </message>
        <message>
            <source>SQLite文件路径，或 postgresql://用户@主机:端口/数据库</source>
            <translation>SQLite file path, or postgresql://user@host:port/dbname</translation>
        </message>
        <message>
            <source>导出报告…</source>
            <translation>Export report…</translation>
        </message>
        <message>
            <source>今日每小时良率</source>
            <translation>Yield per hour today</translation>
        </message>
        <message>
            <source>良率</source>
            <translation>Yield</translation>
        </message>
        <message>
            <source>导出报告</source>
            <translation>Export report</translation>
        </message>
        <message>
            <source>网页 (*.html)</source>
            <translation>Web page (*.html)</translation>
        </message>
        <message>
            <source>报告已导出：%1</source>
            <translation>Report exported: %1</translation>
        </message>
    </context>
    <context>
        <name>QObject</name>
        <message>
            <source>打开文件</source>
            <translation>Open File</translation>
        </message>
        <message>
            <source>烧录文件 (*.hex *.bin)</source>
            <translation>Program files (*.hex *.bin)</translation>
        </message>
    </context>
    <context>
        <name>USBConnectThread</name>
        <message>
            <source>USBConnectThread</source>
            <translation>USBConnectThread</translation>
        </message>
        <message>
            <source>run</source>
            <translation>run</translation>
        </message>
        <message>
            <source>tick</source>
            <translation>tick</translation>
        </message>
    </context>
    <context>
        <name>Worker</name>
        <message>
            <source>doWork</source>
            <translation>doWork</translation>
        </message>
    </context>
    <context>
        <name>Job</name>
        <message>
            <source>未知的键：%1</source>
            <translation>unknown key: %1</translation>
        </message>
        <message>
            <source>键%1的值无效</source>
            <translation>invalid value of key %1</translation>
        </message>
        <message>
            <source>工程文件不是有效的JSON：%1</source>
            <translation>the job file is not valid JSON: %1</translation>
        </message>
        <message>
            <source>不是Quorvel工程文件</source>
            <translation>not a Quorvel job file</translation>
        </message>
        <message>
            <source>工程文件版本%1较新，本程序只支持版本%2</source>
            <translation>the job file has the newer version %1; this program reads version %2</translation>
        </message>
        <message>
            <source>工程文件无法读取：%1</source>
            <translation>cannot read the job file: %1</translation>
        </message>
        <message>
            <source>文件不存在或无法读取</source>
            <translation>the file does not exist or cannot be read</translation>
        </message>
        <message>
            <source>工程文件无法写入：%1</source>
            <translation>cannot write the job file: %1</translation>
        </message>
        <message>
            <source>HEX文件包含多个区域，不能指定烧录地址</source>
            <translation>the HEX file holds several regions; it cannot be given an address</translation>
        </message>
        <message>
            <source>未知芯片型号</source>
            <translation>unknown chip model</translation>
        </message>
        <message>
            <source>未知擦除方式</source>
            <translation>unknown erase mode</translation>
        </message>
        <message>
            <source>读保护等级必须是0、1或2</source>
            <translation>the read-protection level must be 0, 1 or 2</translation>
        </message>
        <message>
            <source>未知看门狗选项</source>
            <translation>unknown watchdog option</translation>
        </message>
        <message>
            <source>脱机选项需要打开脱机烧写功能</source>
            <translation>offline options need offline programming switched on (--offline)</translation>
        </message>
        <message>
            <source>BIN文件需要烧录地址（文件@地址）</source>
            <translation>a BIN file needs a flash address (FILE@ADDRESS)</translation>
        </message>
        <message>
            <source>只支持HEX和BIN文件</source>
            <translation>only HEX and BIN files can be programmed</translation>
        </message>
    </context>
    <context>
        <name>Pack</name>
        <message>
            <source>%1：windowAt、windowRegister、windowShow、windowHide须一并给出</source>
            <translation>%1: windowAt, windowRegister, windowShow and windowHide go together</translation>
        </message>
        <message>
            <source>%1：读取窗口无效</source>
            <translation>%1: the read window is not usable</translation>
        </message>
        <message>
            <source>%1（%2）的访问端口：%3</source>
            <translation>access port of %1 (%2): %3</translation>
        </message>
        <message>
            <source>__apid %1是ADIv6端口（%2第%3行），不支持</source>
            <translation>__apid %1 is an ADIv6 port (%2 line %3), which is not supported</translation>
        </message>
        <message>
            <source>第%1行的accessportV1没有index</source>
            <translation>the accessportV1 of line %1 has no index</translation>
        </message>
        <message>
            <source>没有声明__apid %1的accessportV1</source>
            <translation>no accessportV1 declares __apid %1</translation>
        </message>
        <message>
            <source>APSEL %1超出0至255</source>
            <translation>APSEL %1 is outside 0 to 255</translation>
        </message>
        <message>
            <source>%1 第%2行 &lt;%3&gt;：%4</source>
            <translation>%1 line %2 &lt;%3&gt;: %4</translation>
        </message>
        <message>
            <source>%1 第%2行：XML错误：%3</source>
            <translation>%1 line %2: XML error: %3</translation>
        </message>
        <message>
            <source>%1：&lt;algorithm&gt; %2：文件不在包中</source>
            <translation>%1: &lt;algorithm&gt; %2: the file is not in the pack</translation>
        </message>
        <message>
            <source>%1：RAMstart/RAMsize无效</source>
            <translation>%1: invalid RAMstart/RAMsize</translation>
        </message>
        <message>
            <source>%1：不是有效的包（zip）：%2</source>
            <translation>%1: not a valid pack (zip): %2</translation>
        </message>
        <message>
            <source>%1：不是有效的烧写算法：%2</source>
            <translation>%1: not a valid flash algorithm: %2</translation>
        </message>
        <message>
            <source>%1：包不存在</source>
            <translation>%1: no such pack</translation>
        </message>
        <message>
            <source>%1：包中有多个.pdsc文件：%2</source>
            <translation>%1: the pack holds several .pdsc files: %2</translation>
        </message>
        <message>
            <source>%1：包中没有.pdsc文件</source>
            <translation>%1: the pack holds no .pdsc file</translation>
        </message>
        <message>
            <source>%1：包中没有此文件</source>
            <translation>%1: no such file in the pack</translation>
        </message>
        <message>
            <source>%1：压缩包条目过多（%2）</source>
            <translation>%1: too many entries in the archive (%2)</translation>
        </message>
        <message>
            <source>%1：压缩比异常（%2字节压缩为%3字节）</source>
            <translation>%1: suspicious compression ratio (%2 bytes packed into %3)</translation>
        </message>
        <message>
            <source>%1：文件超过%2字节上限</source>
            <translation>%1: the file exceeds the limit of %2 bytes</translation>
        </message>
        <message>
            <source>%1：无法解压：%2</source>
            <translation>%1: cannot be unpacked: %2</translation>
        </message>
        <message>
            <source>%1：无法读取</source>
            <translation>%1: cannot be read</translation>
        </message>
        <message>
            <source>%1：范围超出32位地址空间或为空</source>
            <translation>%1: the range is empty or leaves the 32-bit address space</translation>
        </message>
        <message>
            <source>%1：设备或条目过多</source>
            <translation>%1: too many devices or entries</translation>
        </message>
        <message>
            <source>不接受DTD</source>
            <translation>DTDs are not accepted</translation>
        </message>
        <message>
            <source>不是包描述文件（根元素应为package）</source>
            <translation>not a pack description (the root element must be package)</translation>
        </message>
        <message>
            <source>属性%1的值无效：%2</source>
            <translation>invalid value of attribute %1: %2</translation>
        </message>
        <message>
            <source>未知设备：%1。最接近的：%2</source>
            <translation>unknown device: %1. Nearest: %2</translation>
        </message>
        <message>
            <source>未知设备：%1（没有可用的包）</source>
            <translation>unknown device: %1 (no pack available)</translation>
        </message>
        <message>
            <source>条目过多</source>
            <translation>too many entries</translation>
        </message>
        <message>
            <source>缺少属性%1</source>
            <translation>attribute %1 missing</translation>
        </message>
        <message>
            <source>设备名%1不唯一，可能是：%2</source>
            <translation>the device name %1 is ambiguous: %2</translation>
        </message>
        <message>
            <source>路径不在包内：%1</source>
            <translation>path outside the pack: %1</translation>
        </message>
        <message>
            <source>%1格式的算法无法运行</source>
            <translation>an algorithm in %1 style cannot be run</translation>
        </message>
        <message>
            <source>文件不在包中</source>
            <translation>the file is not in the pack</translation>
        </message>
        <message>
            <source>不是有效的烧写算法：%1</source>
            <translation>not a valid flash algorithm: %1</translation>
        </message>
        <message>
            <source>算法没有ProgramPage函数</source>
            <translation>the algorithm has no ProgramPage function</translation>
        </message>
        <message>
            <source>%1没有内核%2（有：%3）</source>
            <translation>%1 has no core %2 (it has: %3)</translation>
        </message>
        <message>
            <source>默认</source>
            <translation>default</translation>
        </message>
        <message>
            <source>指定</source>
            <translation>named</translation>
        </message>
        <message>
            <source>映像所在</source>
            <translation>holds an image</translation>
        </message>
        <message>
            <source>按需</source>
            <translation>on request</translation>
        </message>
        <message>
            <source>%1 第%2行 &lt;algorithm&gt;：%3：%4格式的算法无法运行</source>
            <translation>%1 line %2 &lt;algorithm&gt;: %3: an algorithm in %4 style cannot be run</translation>
        </message>
        <message>
            <source>%1没有烧写算法%2（有：%3）</source>
            <translation>%1 has no flash algorithm %2 (it has: %3)</translation>
        </message>
        <message>
            <source>%1与%2是同一块闪存（别名），地址重叠</source>
            <translation>%1 and %2 overlap in the same flash (through an alias)</translation>
        </message>
        <message>
            <source>不在%1的任何存储区内</source>
            <translation>is outside every memory of %1</translation>
        </message>
        <message>
            <source>超出烧写算法%1的范围%2-%3</source>
            <translation>is outside the range %2-%3 of flash algorithm %1</translation>
        </message>
        <message>
            <source>%1（%2字节，位于%3）%4</source>
            <translation>%1 (%2 bytes at %3) %4</translation>
        </message>
        <message>
            <source>跳过包%1：%2</source>
            <translation>pack %1 skipped: %2</translation>
        </message>
        <message>
            <source>%1：%2</source>
            <translation>%1: %2</translation>
        </message>
    </context>
    <context>
        <name>QuorvelCli</name>
        <message>
            <source>经SWD读取RTT上行缓冲0并写到标准输出，直到Ctrl-C或SIGTERM（退出状态0）。</source>
            <translation>Read RTT up-buffer 0 over SWD and write it to stdout until Ctrl-C or SIGTERM (exit status 0).</translation>
        </message>
        <message>
            <source>rtt不支持--json</source>
            <translation>rtt has no --json</translation>
        </message>
        <message>
            <source>rtt只经SWD</source>
            <translation>rtt works over SWD only</translation>
        </message>
        <message>
            <source>；继续查找</source>
            <translation>; still looking</translation>
        </message>
        <message>
            <source>--new-serial需要--serial-ledger</source>
            <translation>--new-serial needs --serial-ledger</translation>
        </message>
        <message>
            <source>已有滚码的芯片（按芯片ID）也分配新值；已用的值不作废。</source>
            <translation>Give a chip that already holds a serial (by its chip ID) a new one; used values are not voided.</translation>
        </message>
        <message>
            <source>--uid、--new-serial和--rtt-…选项只用于--via swd</source>
            <translation>--uid, --new-serial and --rtt-… apply to --via swd only</translation>
        </message>
        <message>
            <source>正则表达式无效：%1（%2）</source>
            <translation>invalid regular expression: %1 (%2)</translation>
        </message>
        <message>
            <source>--via swd：芯片唯一ID的位置（地址:字节数），记入生产记录；默认用器件包给出的位置。</source>
            <translation>--via swd: where the chip&apos;s unique ID lies (ADDRESS:LENGTH), kept in the production record; default: the place the device pack gives.</translation>
        </message>
        <message>
            <source>--via swd --reset：复位后从RTT上行缓冲0读取，直到匹配此正则表达式（自检通过）。</source>
            <translation>--via swd --reset: after the reset, read RTT up-buffer 0 until this regular expression matches (self-test passed).</translation>
        </message>
        <message>
            <source>匹配此正则表达式时自检失败。</source>
            <translation>The self-test fails when this regular expression matches.</translation>
        </message>
        <message>
            <source>自检的最长时间（毫秒，默认5000）。</source>
            <translation>Longest time of the self-test (ms, default 5000).</translation>
        </message>
        <message>
            <source>RTT控制块的地址（十六进制）；默认在器件的RAM中查找。</source>
            <translation>Address of the RTT control block (hex); default: searched for in the device&apos;s RAM.</translation>
        </message>
        <message>
            <source>--rtt-timeout需要1到%1毫秒</source>
            <translation>--rtt-timeout needs 1 to %1 ms</translation>
        </message>
        <message>
            <source>RTT控制块地址无效：%1</source>
            <translation>invalid RTT control block address: %1</translation>
        </message>
        <message>
            <source>--rtt-fail、--rtt-timeout和--rtt-address需要--rtt-expect</source>
            <translation>--rtt-fail, --rtt-timeout and --rtt-address need --rtt-expect</translation>
        </message>
        <message>
            <source>--rtt-expect需要--reset</source>
            <translation>--rtt-expect needs --reset</translation>
        </message>
        <message>
            <source>烧录成功，自检失败：%1</source>
            <translation>Programmed, self-test failed: %1</translation>
        </message>
        <message>
            <source>自检</source>
            <translation>Self-test</translation>
        </message>
        <message>
            <source>列出连接的烧录器。</source>
            <translation>List the connected probes.</translation>
        </message>
        <message>
            <source>可用</source>
            <translation>accepted</translation>
        </message>
        <message>
            <source>不支持</source>
            <translation>refused</translation>
        </message>
        <message>
            <source>未找到烧录器</source>
            <translation>no probe found</translation>
        </message>
        <message>
            <source>擦除</source>
            <translation>Erase</translation>
        </message>
        <message>
            <source>文件在工程保存后已改变：%1</source>
            <translation>the file changed since the job was saved: %1</translation>
        </message>
        <message>
            <source>烧写：与窗口的“开始”相同的任务。</source>
            <translation>Program: the same job as Start in the window.</translation>
        </message>
        <message>
            <source>HEX或BIN文件，可带烧录地址（十六进制）。</source>
            <translation>HEX or BIN files, each with an optional flash address (hex).</translation>
        </message>
        <message>
            <source>芯片型号（默认QB48V）：%1。</source>
            <translation>Chip model (default QB48V): %1.</translation>
        </message>
        <message>
            <source>校验：芯片数据与文件是否一致。</source>
            <translation>Verify: does the chip hold the files?</translation>
        </message>
        <message>
            <source>从工程文件读取文件。</source>
            <translation>Take the files from a job file.</translation>
        </message>
        <message>
            <source>未知芯片型号：%1</source>
            <translation>unknown chip model: %1</translation>
        </message>
        <message>
            <source>文件参数格式错误：%1</source>
            <translation>malformed file argument: %1</translation>
        </message>
        <message>
            <source>读取芯片一段FLASH的MD5。</source>
            <translation>Read the MD5 of a flash range of the chip.</translation>
        </message>
        <message>
            <source>读取芯片一段FLASH的CRC-32。</source>
            <translation>Read the CRC-32 of a flash range of the chip.</translation>
        </message>
        <message>
            <source>起始地址和大小（十六进制，4字节对齐）。</source>
            <translation>Start address and size (hex, multiples of 4).</translation>
        </message>
        <message>
            <source>需要起始地址和大小（十六进制）</source>
            <translation>a start address and a size (hex) are needed</translation>
        </message>
        <message>
            <source>计算文件的CRC-32（不用烧录器）。</source>
            <translation>Compute the CRC-32 of files (no probe needed).</translation>
        </message>
        <message>
            <source>删除烧录器中保存的脱机任务。</source>
            <translation>Delete the offline job stored in the probe.</translation>
        </message>
        <message>
            <source>以一个JSON对象输出结果。</source>
            <translation>Write the outcome as one JSON object.</translation>
        </message>
        <message>
            <source>子命令</source>
            <translation>command</translation>
        </message>
        <message>
            <source>脱机烧写次数格式错误：%1</source>
            <translation>malformed offline count: %1</translation>
        </message>
        <message>
            <source>从工程文件读取任务。</source>
            <translation>Read the job from a job file.</translation>
        </message>
        <message>
            <source>工程保存后改变的文件也照样使用。</source>
            <translation>Use files even if they changed since the job was saved.</translation>
        </message>
        <message>
            <source>把任务保存为工程文件。</source>
            <translation>Save the job as a job file.</translation>
        </message>
        <message>
            <source>擦除方式：full、sector、none或auto（默认full；--via swd时默认auto，auto只用于--via swd）。</source>
            <translation>Erase mode: full, sector, none or auto (default full; with --via swd the default is auto, which works over --via swd only).</translation>
        </message>
        <message>
            <source>--via swd的校验方式：crc（在芯片上算每个扇区的CRC-32，默认）或readback（读回每个字节）。</source>
            <translation>Verify mode of --via swd: crc (CRC-32 of each sector computed on the chip, the default) or readback (every byte read back).</translation>
        </message>
        <message>
            <source>未知校验方式：%1</source>
            <translation>unknown verify mode: %1</translation>
        </message>
        <message>
            <source>--verify只能用于--via swd</source>
            <translation>--verify works over --via swd only</translation>
        </message>
        <message>
            <source>擦除方式auto只能用于--via swd</source>
            <translation>erase mode auto works over --via swd only</translation>
        </message>
        <message>
            <source>不烧写。</source>
            <translation>Do not program.</translation>
        </message>
        <message>
            <source>不校验。</source>
            <translation>Do not verify.</translation>
        </message>
        <message>
            <source>完成后复位运行。</source>
            <translation>Reset and run when done.</translation>
        </message>
        <message>
            <source>读保护等级0、1或2。</source>
            <translation>Read-protection level 0, 1 or 2.</translation>
        </message>
        <message>
            <source>读保护等级2的密码（十六进制）。</source>
            <translation>Password of read-protection level 2 (hex).</translation>
        </message>
        <message>
            <source>滚码：地址:初值:步长（十六进制）。</source>
            <translation>Rolling code: address:first value:step (hex).</translation>
        </message>
        <message>
            <source>看门狗选项：keep、on或off。</source>
            <translation>Watchdog option: keep, on or off.</translation>
        </message>
        <message>
            <source>打开脱机烧写功能。</source>
            <translation>Enable offline programming.</translation>
        </message>
        <message>
            <source>脱机烧写次数（十进制）。</source>
            <translation>Number of offline runs (decimal).</translation>
        </message>
        <message>
            <source>自动烧写时间（300-3000毫秒）。</source>
            <translation>Automatic offline start (300-3000 ms).</translation>
        </message>
        <message>
            <source>机台烧录。</source>
            <translation>Machine (handler) programming.</translation>
        </message>
        <message>
            <source>强制烧写脱机文件。</source>
            <translation>Force offline programming.</translation>
        </message>
        <message>
            <source>文件和--job不能同时使用</source>
            <translation>files and --job cannot be used together</translation>
        </message>
        <message>
            <source>未知擦除方式：%1</source>
            <translation>unknown erase mode: %1</translation>
        </message>
        <message>
            <source>读保护等级必须是0、1或2</source>
            <translation>the read-protection level must be 0, 1 or 2</translation>
        </message>
        <message>
            <source>读保护等级2的密码错误</source>
            <translation>wrong password for read-protection level 2</translation>
        </message>
        <message>
            <source>滚码格式错误：%1</source>
            <translation>malformed rolling code: %1</translation>
        </message>
        <message>
            <source>未知看门狗选项：%1</source>
            <translation>unknown watchdog option: %1</translation>
        </message>
        <message>
            <source>未知子命令：%1</source>
            <translation>unknown command: %1</translation>
        </message>
        <message>
            <source>未找到烧录器：%1</source>
            <translation>no probe found: %1</translation>
        </message>
        <message>
            <source>烧录器无法识别：%1</source>
            <translation>the probe cannot be identified: %1</translation>
        </message>
        <message>
            <source>烧录方式：vendor（专用烧录器，默认）或swd（任意CMSIS-DAP烧录器）。</source>
            <translation>Programming path: vendor (the dedicated probe, default) or swd (any CMSIS-DAP probe).</translation>
        </message>
        <message>
            <source>未知烧录方式：%1</source>
            <translation>unknown programming path: %1</translation>
        </message>
        <message>
            <source>--via swd不能用于脱机任务</source>
            <translation>--via swd cannot be used for the offline job</translation>
        </message>
        <message>
            <source>--via swd不能写滚码</source>
            <translation>--via swd cannot write a rolling code</translation>
        </message>
        <message>
            <source>--via swd不能设置看门狗</source>
            <translation>--via swd cannot set the watchdog option</translation>
        </message>
        <message>
            <source>--via swd不能设置读保护</source>
            <translation>--via swd cannot set read protection</translation>
        </message>
        <message>
            <source>--via swd只支持芯片QB48V</source>
            <translation>--via swd supports the chip QB48V only</translation>
        </message>
        <message>
            <source>SWD错误%1：%2</source>
            <translation>SWD error %1: %2</translation>
        </message>
        <message>
            <source>未找到CMSIS-DAP烧录器</source>
            <translation>no CMSIS-DAP probe found</translation>
        </message>
        <message>
            <source>未找到CMSIS-DAP烧录器：%1</source>
            <translation>no CMSIS-DAP probe found: %1</translation>
        </message>
        <message>
            <source>连接</source>
            <translation>Connect</translation>
        </message>
        <message>
            <source>烧写</source>
            <translation>Program</translation>
        </message>
        <message>
            <source>校验</source>
            <translation>Verify</translation>
        </message>
        <message>
            <source>复位运行</source>
            <translation>Reset and run</translation>
        </message>
        <message>
            <source>经SWD擦除整个芯片（APROM和LDROM），用任意CMSIS-DAP烧录器。</source>
            <translation>Erase the whole chip (APROM and LDROM) over SWD, with any CMSIS-DAP probe.</translation>
        </message>
        <message>
            <source>erase只经SWD；专用烧录器的整片擦除：program --no-program --erase full</source>
            <translation>erase works over SWD only; the dedicated probe's full erase is program --no-program --erase full</translation>
        </message>
        <message>
            <source>CMSIS-DAP：SWD，%1个%2字节的包</source>
            <translation>CMSIS-DAP: SWD, %1 packets of %2 bytes</translation>
        </message>
        <message>
            <source>CMSIS-DAP：不支持SWD</source>
            <translation>CMSIS-DAP: no SWD</translation>
        </message>
        <message>
            <source>CMSIS-DAP：无应答（%1）</source>
            <translation>CMSIS-DAP: no answer (%1)</translation>
        </message>
        <message>
            <source>换好芯片后按回车开始下一轮（Ctrl-C结束）</source>
            <translation>Swap the boards and press Enter for the next round (Ctrl-C ends) </translation>
        </message>
        <message>
            <source>--repeat需要一个非负整数</source>
            <translation>--repeat needs a whole number of 0 or more</translation>
        </message>
        <message>
            <source>%1个烧录器失败：%2</source>
            <translation>%1 probe(s) failed: %2</translation>
        </message>
        <message>
            <source>%1块芯片在前几轮失败</source>
            <translation>%1 board(s) failed in earlier rounds</translation>
        </message>
        <message>
            <source>烧录地图：任务将如何写入芯片。</source>
            <translation>Flash map: what the job will do to the chip.</translation>
        </message>
        <message>
            <source>把地图写成SVG文件。</source>
            <translation>Write the map as an SVG file.</translation>
        </message>
        <message>
            <source>无法写入：%1</source>
            <translation>cannot write: %1</translation>
        </message>
        <message>
            <source>烧录地图有%1个问题</source>
            <translation>the flash map shows %1 problem(s)</translation>
        </message>
        <message>
            <source>烧录地图有问题时仍然烧写。</source>
            <translation>Program even when the flash map shows problems.</translation>
        </message>
        <message>
            <source>重复N轮，每轮之间等待换芯片（0：直到中断）。</source>
            <translation>Repeat N rounds, waiting for the boards to be swapped between them (0: until interrupted).</translation>
        </message>
        <message>
            <source>烧录地图有问题（--force仍然烧写）：%1</source>
            <translation>the flash map shows problems (--force programs anyway): %1</translation>
        </message>
        <message>
            <source>生产记录的统计：通过、失败、良率。</source>
            <translation>Totals of the production record: passed, failed, yield.</translation>
        </message>
        <message>
            <source>生产记录：SQLite文件或postgresql://用户@主机:端口/数据库。</source>
            <translation>Production record: an SQLite file or postgresql://user@host:port/dbname.</translation>
        </message>
        <message>
            <source>只统计此时间以后的烧录（ISO日期，UTC）。</source>
            <translation>Only runs started at or after this time (ISO date, UTC).</translation>
        </message>
        <message>
            <source>输出每次烧录的记录（CSV）。</source>
            <translation>Write every run's row (CSV).</translation>
        </message>
        <message>
            <source>日期格式错误：%1</source>
            <translation>malformed date: %1</translation>
        </message>
        <message>
            <source>--csv和--json不能同时使用</source>
            <translation>--csv and --json cannot be used together</translation>
        </message>
        <message>
            <source>生产记录无法打开：%1</source>
            <translation>the production record cannot be opened: %1</translation>
        </message>
        <message>
            <source>烧录器的序列号或路径（默认：第一个）；program可多次给出，或用all选全部。</source>
            <translation>Serial number or path of the probe (default: the first one); program takes it several times, or all for every probe.</translation>
        </message>
        <message>
            <source>文件%1</source>
            <translation>File %1</translation>
        </message>
        <message>
            <source>完成</source>
            <translation>Finish</translation>
        </message>
        <message>
            <source>已中断</source>
            <translation>Interrupted</translation>
        </message>
        <message>
            <source>未连接</source>
            <translation>Not connected</translation>
        </message>
        <message>
            <source>烧录器	芯片ID	写入序列号	结果	用时(ms)</source>
            <translation>Probe	Device id	Serial written	Result	Duration (ms)</translation>
        </message>
        <message>
            <source>用法：quorvel-cli &lt;子命令&gt; [选项]

子命令：
  probes          列出连接的烧录器
  program         烧写文件或工程
  plan            烧录地图：文件、擦除范围和滚码在芯片上的位置
  verify          校验芯片数据与文件
  erase           经SWD擦除整个芯片（任意CMSIS-DAP烧录器）
  read            经SWD读出一段FLASH或RAM到文件
  rtt             经SWD把RTT上行缓冲0输出到标准输出
  md5             读取一段FLASH的MD5
  crc32           读取一段FLASH的CRC-32
  file-crc        计算文件的CRC-32
  offline-erase   删除烧录器中的脱机任务
  report          生产记录的统计和导出
  targets         列出设备包描述的设备

每个子命令的选项：quorvel-cli &lt;子命令&gt; --help
</source>
            <translation>Usage: quorvel-cli &lt;command&gt; [options]

Commands:
  probes          list the connected probes
  program         program files or a job
  plan            flash map: where files, erase ranges and the rolling code land
  verify          verify the chip against files
  erase           erase the whole chip over SWD (any CMSIS-DAP probe)
  read            read a flash or RAM range over SWD into a file
  rtt             RTT up-buffer 0 over SWD to stdout
  md5             read the MD5 of a flash range
  crc32           read the CRC-32 of a flash range
  file-crc        compute the CRC-32 of files
  offline-erase   delete the offline job stored in the probe
  report          totals and export of the production record
  targets         list the devices the device packs describe

Options of each command: quorvel-cli &lt;command&gt; --help
</translation>
        </message>
        <message>
            <source>不写生产记录。</source>
            <translation>Do not write the production record.</translation>
        </message>
        <message>
            <source>由生产记录分配每次烧录的滚码值，每个值只用一次。</source>
            <translation>Take each run's rolling-code value from the production record; every value is used once.</translation>
        </message>
        <message>
            <source>--serial-ledger需要--rolling和生产记录</source>
            <translation>--serial-ledger needs --rolling and a production record</translation>
        </message>
        <message>
            <source>生产记录无法写入，未开始烧录：%1</source>
            <translation>the production record cannot be written; programming not started: %1</translation>
        </message>
        <message>
            <source>滚码分配失败，未开始烧录：%1</source>
            <translation>no rolling-code value could be assigned; programming not started: %1</translation>
        </message>
        <message>
            <source>本次结果未写入生产记录：%1</source>
            <translation>this result was not written to the production record: %1</translation>
        </message>
        <message>
            <source>列出设备包描述的设备。</source>
            <translation>List the devices the device packs describe.</translation>
        </message>
        <message>
            <source>设备包（.pack文件或含.pdsc的文件夹），可多次给出。</source>
            <translation>Device pack (a .pack file or a folder holding a .pdsc); may be given several times.</translation>
        </message>
        <message>
            <source>设备名（不区分大小写）。</source>
            <translation>Device name (case-insensitive).</translation>
        </message>
        <message>
            <source>未知传输方式：%1</source>
            <translation>unknown transport: %1</translation>
        </message>
        <message>
            <source>--via swd的连接方式：normal（停住运行中的内核，默认）、under-reset（按住复位连接，固件一条指令也不运行）或halt-on-reset（复位后停在第一条指令）。</source>
            <translation>connection over --via swd: normal (halt the running core, default), under-reset (connect with reset held, so the firmware runs no instruction) or halt-on-reset (reset, stopped at the first instruction).</translation>
        </message>
        <message>
            <source>--via swd的复位方式：hardware（nRESET）、system（SYSRESETREQ）或core（VECTRESET）；默认按设备包，否则system。</source>
            <translation>reset over --via swd: hardware (nRESET), system (SYSRESETREQ) or core (VECTRESET); default the device pack's, else system.</translation>
        </message>
        <message>
            <source>覆盖设备包debugvars中的变量，可重复。</source>
            <translation>sets a variable of the device pack's debugvars; may be repeated.</translation>
        </message>
        <message>
            <source>未知连接方式：%1</source>
            <translation>unknown connect mode: %1</translation>
        </message>
        <message>
            <source>未知复位方式：%1</source>
            <translation>unknown reset type: %1</translation>
        </message>
        <message>
            <source>--connect、--reset-type和--debugvar只用于--via swd</source>
            <translation>--connect, --reset-type and --debugvar apply to --via swd only</translation>
        </message>
        <message>
            <source>SWD时钟无效（1000到50000000 Hz）：%1</source>
            <translation>invalid SWD clock (1000 to 50000000 Hz): %1</translation>
        </message>
        <message>
            <source>--transport和--swd-clock只用于--via swd</source>
            <translation>--transport and --swd-clock apply to --via swd only</translation>
        </message>
        <message>
            <source>--pack和--target只用于--via swd</source>
            <translation>--pack and --target apply to --via swd only</translation>
        </message>
        <message>
            <source>--via swd的传输方式：bulk（CMSIS-DAP v2）或hid（v1）；默认有v2时用v2。</source>
            <translation>Transport for --via swd: bulk (CMSIS-DAP v2) or hid (v1); by default v2 where the probe offers it.</translation>
        </message>
        <message>
            <source>--via swd的SWD时钟（Hz，默认4000000）。</source>
            <translation>SWD clock for --via swd (Hz, default 4000000).</translation>
        </message>
        <message>
            <source>擦除方式：full、sector或none（默认full）。</source>
            <translation>Erase mode: full, sector or none (default full).</translation>
        </message>
        <message>
            <source>无法打开烧录器：%1</source>
            <translation>cannot open the probe: %1</translation>
        </message>
        <message>
            <source>无法打开</source>
            <translation>cannot be opened</translation>
        </message>
        <message>
            <source>只统计此时间以后的烧录（ISO日期或时间，UTC；或today、yesterday）。</source>
            <translation>Only runs started at or after this time (ISO date or date and time, UTC; or today, yesterday).</translation>
        </message>
        <message>
            <source>--csv不能与--json或--html同时使用</source>
            <translation>--csv cannot be used together with --json or --html</translation>
        </message>
        <message>
            <source>只统计此时间以前的烧录（日期含当天；ISO，UTC；或today、yesterday）。</source>
            <translation>Only runs started before this time (a date includes its day; ISO, UTC; or today, yesterday).</translation>
        </message>
        <message>
            <source>只统计此工程（文件名或摘要开头）。</source>
            <translation>Only runs of this job (file name or start of its digest).</translation>
        </message>
        <message>
            <source>只统计此工位（主机名）。</source>
            <translation>Only runs of this station (host name).</translation>
        </message>
        <message>
            <source>只统计此烧录器（序列号）。</source>
            <translation>Only runs of this probe (serial number).</translation>
        </message>
        <message>
            <source>把报告写成一个网页文件。</source>
            <translation>Write the report as one web page file.</translation>
        </message>
        <message>
            <source>无法写入%1：%2</source>
            <translation>Cannot write %1: %2</translation>
        </message>
        <message>
            <source>流水线：每个烧录器等芯片接上即烧写，芯片取下后再等下一块（--repeat块数，默认直到中断）。</source>
            <translation>Production line: each probe programs a chip as soon as it is attached and waits for its removal before the next (--repeat boards, default until interrupted).</translation>
        </message>
        <message>
            <source>--auto检测芯片的间隔，毫秒（默认300）。</source>
            <translation>How often --auto checks for a chip, in milliseconds (default 300).</translation>
        </message>
        <message>
            <source>--poll只用于--auto</source>
            <translation>--poll is for --auto only</translation>
        </message>
        <message>
            <source>--poll需要10到60000毫秒</source>
            <translation>--poll needs 10 to 60000 milliseconds</translation>
        </message>
        <message>
            <source>等待芯片</source>
            <translation>waiting for a board</translation>
        </message>
        <message>
            <source>请取下芯片</source>
            <translation>remove the board</translation>
        </message>
        <message>
            <source>第%1块</source>
            <translation>board %1</translation>
        </message>
        <message>
            <source>上一块：%1</source>
            <translation>last: %1</translation>
        </message>
        <message>
            <source>--via swd写滚码需要--serial-ledger</source>
            <translation>--via swd writes a rolling code only with --serial-ledger</translation>
        </message>
        <message>
            <source>滚码地址0x%1不能写入</source>
            <translation>The rolling code cannot be written at 0x%1</translation>
        </message>
        <message>
            <source>滚码地址0x%1处已有文件数据</source>
            <translation>A file already holds data at the rolling-code address 0x%1</translation>
        </message>
        <message>
            <source>不擦除时不能把滚码写入没有文件数据的扇区（地址0x%1）</source>
            <translation>Without erase the rolling code cannot go into a sector no file touches (address 0x%1)</translation>
        </message>
        <message>
            <source>无法读取滚码所在扇区（地址0x%1）</source>
            <translation>Cannot read the rolling code's sector (address 0x%1)</translation>
        </message>
        <message>
            <source>滚码</source>
            <translation>rolling code</translation>
        </message>
    <message>
            <source>经SWD读出一段FLASH或RAM，按扩展名存为.bin或.hex文件。</source>
            <translation>Read a flash or RAM range over SWD into a .bin or .hex file, by its extension.</translation>
        </message>
        <message>
            <source>起始地址和长度（十六进制），以及保存的文件。</source>
            <translation>Start address and length (hex), and the file to save.</translation>
        </message>
        <message>
            <source>read只经SWD</source>
            <translation>read works over SWD only</translation>
        </message>
        <message>
            <source>需要起始地址、长度（十六进制）和文件</source>
            <translation>an address, a length (hex) and a file are required</translation>
        </message>
        <message>
            <source>读出的文件必须是.bin或.hex：%1</source>
            <translation>the read-out file must be .bin or .hex: %1</translation>
        </message>
        <message>
            <source>读出</source>
            <translation>read</translation>
        </message>
        <message>
            <source>芯片拒绝读出%1起的%2字节（读保护？）：%3</source>
            <translation>the chip refused reading %2 bytes from %1 (read-protected?): %3</translation>
        </message>
        <message>
            <source>无法写入文件：%1</source>
            <translation>cannot write the file: %1</translation>
        </message>
        <message>
            <source>已读出%1起的%2字节到%3（CRC-32 %4）</source>
            <translation>Read %2 bytes from %1 into %3 (CRC-32 %4)</translation>
        </message>
        <message>
            <source>设备包（.pack文件、含.pdsc的文件夹或单独的.pdsc），可多次给出。</source>
            <translation>Device pack (.pack file, folder holding a .pdsc, or a lone .pdsc); may be given more than once.</translation>
        </message>
        <message>
            <source>多核设备的内核（Pname）。</source>
            <translation>Core of a multi-core device (its Pname).</translation>
        </message>
        <message>
            <source>也使用这个非默认的烧写算法（文件名），可多次给出。</source>
            <translation>Use this non-default flash algorithm too (its file name); may be given more than once.</translation>
        </message>
        <message>
            <source>用EraseChip（未空的扇区再逐个擦除）</source>
            <translation>by EraseChip (then any sector left not blank)</translation>
        </message>
        <message>
            <source>逐扇区</source>
            <translation>by sectors</translation>
        </message>
        <message>
            <source>不可用（%1格式）</source>
            <translation>unusable (%1 style)</translation>
        </message>
        <message>
            <source>检查包中的每个烧写算法。</source>
            <translation>Check every flash algorithm of the packs.</translation>
        </message>
        <message>
            <source>%1个烧写算法有问题</source>
            <translation>%1 flash algorithm problems</translation>
        </message>
    </context>
    <context>
        <name>ProductionReport</name>
        <message>
            <source>芯片ID</source>
            <translation>Chip ID</translation>
        </message>
        <message>
            <source>每日良率和产量</source>
            <translation>Yield and throughput per day</translation>
        </message>
        <message>
            <source>每小时良率和产量</source>
            <translation>Yield and throughput per hour</translation>
        </message>
        <message>
            <source>%1：烧录%2次，通过%3，失败%4，中断%5，良率%6</source>
            <translation>%1: %2 runs, %3 passed, %4 failed, %5 interrupted, yield %6</translation>
        </message>
        <message>
            <source>柱：烧录次数（绿 通过，红 失败，橙 中断）；线：良率</source>
            <translation>Bars: runs (green passed, red failed, orange interrupted); line: yield</translation>
        </message>
        <message>
            <source>中断</source>
            <translation>Interrupted</translation>
        </message>
        <message>
            <source>失败原因</source>
            <translation>Failures by cause</translation>
        </message>
        <message>
            <source>柱：失败次数；线：累计占比</source>
            <translation>Bars: failures; line: cumulative share</translation>
        </message>
        <message>
            <source>烧录时长分布</source>
            <translation>Duration distribution</translation>
        </message>
        <message>
            <source>中位数</source>
            <translation>Median</translation>
        </message>
        <message>
            <source>95百分位</source>
            <translation>95th percentile</translation>
        </message>
        <message>
            <source>横轴：时长（毫秒）；纵轴：烧录次数</source>
            <translation>Across: duration (ms); up: runs</translation>
        </message>
        <message>
            <source>烧录次数</source>
            <translation>Runs</translation>
        </message>
        <message>
            <source>通过</source>
            <translation>Passed</translation>
        </message>
        <message>
            <source>失败</source>
            <translation>Failed</translation>
        </message>
        <message>
            <source>良率</source>
            <translation>Yield</translation>
        </message>
        <message>
            <source>中位时长</source>
            <translation>Median duration</translation>
        </message>
        <message>
            <source>从 %1</source>
            <translation>from %1</translation>
        </message>
        <message>
            <source>到 %1</source>
            <translation>until %1</translation>
        </message>
        <message>
            <source>工程 %1</source>
            <translation>job %1</translation>
        </message>
        <message>
            <source>工位 %1</source>
            <translation>station %1</translation>
        </message>
        <message>
            <source>烧录器 %1</source>
            <translation>probe %1</translation>
        </message>
        <message>
            <source>全部记录</source>
            <translation>The whole record</translation>
        </message>
        <message>
            <source>zh-CN</source>
            <translation>en</translation>
        </message>
        <message>
            <source>生产报告</source>
            <translation>Production report</translation>
        </message>
        <message>
            <source>每小时板数</source>
            <translation>Boards per hour</translation>
        </message>
        <message>
            <source>没有记录</source>
            <translation>No runs</translation>
        </message>
        <message>
            <source>没有失败</source>
            <translation>No failures</translation>
        </message>
        <message>
            <source>结果代码</source>
            <translation>Code</translation>
        </message>
        <message>
            <source>消息</source>
            <translation>Message</translation>
        </message>
        <message>
            <source>次数</source>
            <translation>Count</translation>
        </message>
        <message>
            <source>累计占比</source>
            <translation>Cumulative share</translation>
        </message>
        <message>
            <source>各工位和各烧录器</source>
            <translation>Per station and per probe</translation>
        </message>
        <message>
            <source>各工位</source>
            <translation>Per station</translation>
        </message>
        <message>
            <source>工位</source>
            <translation>Station</translation>
        </message>
        <message>
            <source>各烧录器</source>
            <translation>Per probe</translation>
        </message>
        <message>
            <source>烧录器</source>
            <translation>Probe</translation>
        </message>
        <message>
            <source>滚码记录</source>
            <translation>Serial ledger</translation>
        </message>
        <message>
            <source>没有由生产记录分配的滚码</source>
            <translation>No serials handed out by the ledger</translation>
        </message>
        <message>
            <source>地址</source>
            <translation>Address</translation>
        </message>
        <message>
            <source>首值</source>
            <translation>First value</translation>
        </message>
        <message>
            <source>步长</source>
            <translation>Step</translation>
        </message>
        <message>
            <source>已发</source>
            <translation>Issued</translation>
        </message>
        <message>
            <source>已用</source>
            <translation>Used</translation>
        </message>
        <message>
            <source>作废</source>
            <translation>Voided</translation>
        </message>
        <message>
            <source>发放范围</source>
            <translation>Ranges issued</translation>
        </message>
        <message>
            <source>作废的值</source>
            <translation>Voided values</translation>
        </message>
        <message>
            <source>无</source>
            <translation>none</translation>
        </message>
        <message>
            <source>最近50次失败</source>
            <translation>Last 50 failed runs</translation>
        </message>
        <message>
            <source>时间</source>
            <translation>Time</translation>
        </message>
        <message>
            <source>设备ID</source>
            <translation>Device id</translation>
        </message>
        <message>
            <source>滚码</source>
            <translation>Serial</translation>
        </message>
        <message>
            <source>记录的消息</source>
            <translation>Message as recorded</translation>
        </message>
        <message>
            <source>成功</source>
            <translation>Success</translation>
        </message>
        <message>
            <source>烧录器断开或无法读写</source>
            <translation>the probe vanished or could not be written or read</translation>
        </message>
        <message>
            <source>烧录器应答超时</source>
            <translation>a probe reply timed out</translation>
        </message>
        <message>
            <source>烧录器应答错误</source>
            <translation>a probe reply did not answer its command</translation>
        </message>
        <message>
            <source>烧录器不支持SWD</source>
            <translation>the probe cannot do SWD</translation>
        </message>
        <message>
            <source>没有SWD目标应答</source>
            <translation>no SWD target answers</translation>
        </message>
        <message>
            <source>目标一直应答WAIT</source>
            <translation>the target kept answering WAIT</translation>
        </message>
        <message>
            <source>目标应答FAULT</source>
            <translation>the target answered FAULT</translation>
        </message>
        <message>
            <source>SWD协议错误</source>
            <translation>SWD protocol error</translation>
        </message>
        <message>
            <source>内核未能及时停止</source>
            <translation>the core did not halt in time</translation>
        </message>
        <message>
            <source>缺少烧录算法文件</source>
            <translation>a flash algorithm file is missing</translation>
        </message>
        <message>
            <source>烧录算法文件不可用</source>
            <translation>not a usable flash algorithm</translation>
        </message>
        <message>
            <source>烧录算法执行失败</source>
            <translation>a flash algorithm routine failed</translation>
        </message>
        <message>
            <source>映像超出FLASH或没有映像</source>
            <translation>an image lies outside the flash, or no image</translation>
        </message>
        <message>
            <source>校验不一致</source>
            <translation>verify found a differing byte</translation>
        </message>
        <message>
            <source>烧录成功，自检失败</source>
            <translation>Programmed, self-test failed</translation>
        </message>
        <message>
            <source>SWD错误%1</source>
            <translation>SWD error %1</translation>
        </message>
        <message>
            <source>SWD错误%1：%2</source>
            <translation>SWD error %1: %2</translation>
        </message>
        <message>
            <source>%1：%2</source>
            <translation>%1: %2</translation>
        </message>
    </context>
    <context>
        <name>Swd</name>
        <message>
            <source>芯片ID位置无效（地址:长度，1到%1字节）：%2</source>
            <translation>invalid chip ID place (ADDRESS:LENGTH, 1 to %1 bytes): %2</translation>
        </message>
        <message>
            <source>芯片ID（%1，%2字节）无法读出：%3</source>
            <translation>chip ID (%1, %2 bytes) cannot be read: %3</translation>
        </message>
        <message>
            <source>%1毫秒内没有结果（最后输出：%2）</source>
            <translation>no verdict within %1 ms (last printed: %2)</translation>
        </message>
        <message>
            <source>读出长度为0</source>
            <translation>the read length is 0</translation>
        </message>
        <message>
            <source>一次最多读出%1字节</source>
            <translation>at most %1 bytes can be read at once</translation>
        </message>
        <message>
            <source>%1到%2不在%3的任何一个存储器中</source>
            <translation>%1 to %2 is not inside one memory of %3</translation>
        </message>
    </context>
    <context>
        <name>DevicePickerDlg</name>
        <message>
            <source>默认算法总会使用；勾选要一起使用的非默认算法</source>
            <translation>Default algorithms are always used; tick the non-default ones to use as well</translation>
        </message>
        <message>
            <source>默认算法</source>
            <translation>Default algorithm</translation>
        </message>
        <message>
            <source>%1格式的算法无法运行</source>
            <translation>An algorithm in the %1 style cannot be run</translation>
        </message>
        <message>
            <source>选择器件</source>
            <translation>Choose a device</translation>
        </message>
        <message>
            <source>搜索器件、系列或厂商</source>
            <translation>Search device, family or vendor</translation>
        </message>
        <message>
            <source>厂商 / 系列 / 器件</source>
            <translation>Vendor / family / device</translation>
        </message>
        <message>
            <source>内核</source>
            <translation>Core</translation>
        </message>
        <message>
            <source>添加设备包…</source>
            <translation>Add pack…</translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>添加设备包</source>
            <translation>Add pack</translation>
        </message>
        <message>
            <source>设备包 (*.pack *.zip)</source>
            <translation>Device packs (*.pack *.zip)</translation>
        </message>
        <message>
            <source>警告</source>
            <translation>Warning</translation>
        </message>
        <message>
            <source>启动内核</source>
            <translation>Boot core</translation>
        </message>
        <message>
            <source>&lt;b&gt;内核&lt;/b&gt;</source>
            <translation>&lt;b&gt;Cores&lt;/b&gt;</translation>
        </message>
        <message>
            <source>&lt;b&gt;存储器&lt;/b&gt;</source>
            <translation>&lt;b&gt;Memories&lt;/b&gt;</translation>
        </message>
        <message>
            <source>&lt;b&gt;烧写算法&lt;/b&gt;</source>
            <translation>&lt;b&gt;Flash algorithms&lt;/b&gt;</translation>
        </message>
        <message>
            <source>默认</source>
            <translation>default</translation>
        </message>
        <message>
            <source>非默认</source>
            <translation>not default</translation>
        </message>
        <message>
            <source>无法建立设备包文件夹：%1</source>
            <translation>Cannot create the pack folder: %1</translation>
        </message>
        <message>
            <source>无法复制设备包到%1</source>
            <translation>Cannot copy the pack to %1</translation>
        </message>
    </context>
    <context>
        <name>ReadOutDlg</name>
        <message>
            <source>读出的首地址和长度</source>
            <translation>Start address and length to read out</translation>
        </message>
        <message>
            <source>  地址(HEX) </source>
            <translation>  Address (HEX) </translation>
        </message>
        <message>
            <source>  长度(HEX) </source>
            <translation>  Length (HEX) </translation>
        </message>
        <message>
            <source>确认</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
    </context>
    <context>
        <name>SelfTestDlg</name>
        <message>
            <source>自检与芯片ID</source>
            <translation>Self-test and chip ID</translation>
        </message>
        <message>
            <source>空：不自检</source>
            <translation>Empty: no self-test</translation>
        </message>
        <message>
            <source>复位后板上固件经RTT输出与之匹配的文本即为自检通过</source>
            <translation>The self-test passes when the board's firmware prints matching text over RTT after the reset</translation>
        </message>
        <message>
            <source>输出与之匹配的文本即为自检失败</source>
            <translation>The self-test fails when matching text is printed</translation>
        </message>
        <message>
            <source>空：在RAM中查找</source>
            <translation>Empty: search the RAM</translation>
        </message>
        <message>
            <source>空：设备包给出的位置</source>
            <translation>Empty: the place the device pack gives</translation>
        </message>
        <message>
            <source>芯片唯一ID的地址和字节数，如0x1FFFF7E8:12，记入生产记录</source>
            <translation>Address and byte count of the chip's unique ID, e.g. 0x1FFFF7E8:12, written to the production record</translation>
        </message>
        <message>
            <source>自检通过文本（正则表达式）：</source>
            <translation>Pass text (regular expression):</translation>
        </message>
        <message>
            <source>自检失败文本（正则表达式）：</source>
            <translation>Fail text (regular expression):</translation>
        </message>
        <message>
            <source>自检超时（毫秒）：</source>
            <translation>Self-test time-out (ms):</translation>
        </message>
        <message>
            <source>RTT控制块地址（十六进制）：</source>
            <translation>RTT control block address (hex):</translation>
        </message>
        <message>
            <source>芯片ID（地址:长度）：</source>
            <translation>Chip ID (address:length):</translation>
        </message>
        <message>
            <source>确定</source>
            <translation>OK</translation>
        </message>
        <message>
            <source>取消</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <source>正则表达式无效：%1（%2）</source>
            <translation>Invalid regular expression: %1 (%2)</translation>
        </message>
        <message>
            <source>填写失败文本或控制块地址时须填写通过文本</source>
            <translation>A fail text or control block address needs a pass text</translation>
        </message>
        <message>
            <source>RTT控制块地址须是4字节对齐的十六进制数：%1</source>
            <translation>The RTT control block address must be a 4-byte-aligned hex number: %1</translation>
        </message>
    </context>
    <context>
        <name>Station</name>
        <message>
            <source>空闲</source>
            <translation>Idle</translation>
        </message>
        <message>
            <source>等待</source>
            <translation>Waiting</translation>
        </message>
        <message>
            <source>烧录中</source>
            <translation>Programming</translation>
        </message>
        <message>
            <source>通过</source>
            <translation>Passed</translation>
        </message>
        <message>
            <source>失败</source>
            <translation>Failed</translation>
        </message>
        <message>
            <source>整片擦除</source>
            <translation>Full erase</translation>
        </message>
        <message>
            <source>扇区擦除</source>
            <translation>Sector erase</translation>
        </message>
        <message>
            <source>不擦除</source>
            <translation>No erase</translation>
        </message>
        <message>
            <source>自动擦除</source>
            <translation>Auto erase</translation>
        </message>
        <message>
            <source>CMSIS-DAP/SWD</source>
            <translation>CMSIS-DAP/SWD</translation>
        </message>
        <message>
            <source>专用探针</source>
            <translation>Dedicated probe</translation>
        </message>
        <message>
            <source>默认器件</source>
            <translation>Default device</translation>
        </message>
        <message>
            <source>烧写</source>
            <translation>Program</translation>
        </message>
        <message>
            <source>校验（读回）</source>
            <translation>Verify (read back)</translation>
        </message>
        <message>
            <source>校验</source>
            <translation>Verify</translation>
        </message>
        <message>
            <source>复位运行</source>
            <translation>Reset and run</translation>
        </message>
        <message>
            <source>滚码 0x%1</source>
            <translation>Rolling code 0x%1</translation>
        </message>
        <message>
            <source>序列号台账</source>
            <translation>Serial ledger</translation>
        </message>
        <message>
            <source>%1需要一个值</source>
            <translation>%1 needs a value</translation>
        </message>
        <message>
            <source>未知参数：%1</source>
            <translation>Unknown argument: %1</translation>
        </message>
        <message>
            <source>--record和--no-record不能同时使用</source>
            <translation>--record and --no-record cannot be used together</translation>
        </message>
        <message>
            <source>烧录器已拔出</source>
            <translation>Probe unplugged</translation>
        </message>
        <message>
            <source>开始后加入</source>
            <translation>Joins at the next start</translation>
        </message>
        <message>
            <source>已烧%1块  良率%2</source>
            <translation>Boards %1  yield %2</translation>
        </message>
        <message>
            <source>今日每小时烧录</source>
            <translation>Boards per hour today</translation>
        </message>
    </context>
    <context>
        <name>StationWindow</name>
        <message>
            <source>全部开始</source>
            <translation>Start all</translation>
        </message>
        <message>
            <source>自动烧录</source>
            <translation>Auto-program</translation>
        </message>
        <message>
            <source>停止</source>
            <translation>Stop</translation>
        </message>
        <message>
            <source>工程文件无法使用：%1</source>
            <translation>The job file cannot be used: %1</translation>
        </message>
        <message>
            <source>产线 — %1</source>
            <translation>Station — %1</translation>
        </message>
        <message>
            <source>工程：%1    方式：%2    器件：%3
文件：%4
选项：%5</source>
            <translation>Job: %1    Path: %2    Device: %3
Files: %4
Options: %5</translation>
        </message>
        <message>
            <source>生产记录无法读取：%1</source>
            <translation>The production record cannot be read: %1</translation>
        </message>
        <message>
            <source>今日 %1/%2  良率%3%</source>
            <translation>Today %1/%2  yield %3%</translation>
        </message>
        <message>
            <source>今日 0/0</source>
            <translation>Today 0/0</translation>
        </message>
    </context>
</TS>
