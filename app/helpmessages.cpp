// Code-to-message tables of the help tools, translated in the main window's context.
#include "helpmessages.h"

#include "mainwindow.h"

QString verifyMessage(int code)
{
    switch (code) {
    case 0:
        return MainWindow::tr(
            "<font color='#6688DD' size='+2' face='新宋体'><b> 文件与芯片数据一致！ </b></font>");
    case 1:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>");
    case 2:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未选择文件！ </b></font>");
    case 3:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未找到芯片！ </b></font>");
    case 4:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 文件与芯片数据不一致！ </b></font>");
    case 5:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片读保护！ </b></font>");
    case 6:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片型号错误！ </b></font>");
    default:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 其他错误! </b></font>");
    }
}

QString readBackFailureMessage(int code)
{
    switch (code) {
    case 1:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未选择芯片型号! </b></font>");
    case 2:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未找到芯片！ </b></font>");
    case 3:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 已加密，无法读取！ </b></font>");
    case 4:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 读取数据发生错误！ </b></font>");
    case 5:
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片型号错误！ </b></font>");
    case -1:
        return MainWindow::tr("<font color='#DD6622' size='+2' face='新宋体'><b> "
                              "传输错误，请重新连接后再尝试！ </b></font>");
    default:
        return QString();
    }
}
