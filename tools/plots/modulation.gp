# Spectrograms of white noise through the plugin: colour is the output's gain
# over the input, the thin line the cutoff the random modulator set. Called
# by make-plots.sh with datadir, out, and for each of the two panels a data
# prefix (top, bottom) and a title (top_title, bottom_title).
set terminal pngcairo size 1000,660 font 'DejaVu Sans,8'
set output out

# The frequency axis is log2 of the frequency in Hz.
set ytics ('50' log(50)/log(2), '100' log(100)/log(2), '200' log(200)/log(2), '500' log(500)/log(2), \
           '1k' log(1000)/log(2), '2k' log(2000)/log(2), '5k' log(5000)/log(2), '10k' log(10000)/log(2), \
           '20k' log(20000)/log(2)) scale 0.5
set yrange [log(40)/log(2):log(20000)/log(2)]
set xtics scale 0.5
set xrange [0:*]
set ylabel 'Hz'
set cbrange [-48:12]
set cbtics 12
set cblabel 'gain (dB)'
set palette defined (0 '#000004', 1 '#3b0f70', 2 '#8c2981', 3 '#de4968', 4 '#fe9f6d', 5 '#fcfdbf')
set key top right textcolor rgb 'white' samplen 2

set multiplot layout 2, 1 margins 0.06, 0.88, 0.07, 0.93 spacing 0, 0.09 \
    title 'Zirpomatik Tolm: the random cutoff at work (white noise in)' font ',12'
do for [panel in 'top bottom'] {
    prefix = datadir.'/'.value(panel)
    set title value(panel.'_title')
    if (panel eq 'bottom') { set xlabel 'seconds' }
    plot prefix.'.gram' nonuniform matrix with image notitle, \
         prefix.'.cutoff' using 1:(log($2)/log(2)) with lines lc rgb '#40ffff' lw 1 title 'cutoff'
}
unset multiplot
