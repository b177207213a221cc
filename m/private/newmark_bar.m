function bar = newmark_bar(bar, j, rate, t)
% The progress bar of newmark_run:
%   bar = newmark_bar(mode, first, last)   a bar for the time points
%                                          first … last (mode: the 'bar'
%                                          option)
%   bar = newmark_bar(bar, j, rate, t)     shows time point j reached, at
%                                          rate steps/s, time t
%   newmark_bar(bar)                       ends it
% On a terminal the line is redrawn in place at most ten times a second;
% otherwise (a log file, a pipe) a whole line is printed at every 10 % and
% at the end, so that a log stays readable.
  if nargin == 3
    mode = bar;
    first = j; last = rate;
    if islogical(mode) || isnumeric(mode)
      if mode, mode = 'auto'; else, mode = 'none'; end
    end
    if strcmp(mode, 'auto')
      mode = ifelse(on_terminal(), 'live', 'lines');
    end
    if ~any(strcmp(mode, {'none', 'live', 'lines'}))
      error('newmark_run: ''bar'' must be true, false, ''live'' or ''lines''');
    end
    bar = struct('mode', mode, 'first', first, 'last', last, 'shown', -Inf, ...
                 'next', 0.1, 'drawn', false);
    return;
  end
  if nargin == 1
    if strcmp(bar.mode, 'live') && bar.drawn, fprintf('\n'); end
    return;
  end
  if strcmp(bar.mode, 'none'), return; end
  frac = (j - bar.first) / max(bar.last - bar.first, 1);
  switch bar.mode
    case 'live'
      if j < bar.last && time() - bar.shown < 0.1, return; end
      fprintf('\r%s  ', bar_text(frac, j, bar, rate, t));
      bar.shown = time();
      bar.drawn = true;
    case 'lines'
      if frac < bar.next && j < bar.last, return; end
      fprintf('%s\n', bar_text(frac, j, bar, rate, t));
      bar.next = (floor(frac * 10 + 1e-9) + 1) / 10;
  end
  fflush(stdout);
end

function s = bar_text(frac, j, bar, rate, t)
  width = 30;
  filled = round(width * frac);
  left = (bar.last - j) / max(rate, eps);
  s = sprintf('[%s%s] %3.0f%%  step %d/%d  %.0f steps/s  t = %.4g s  %s', ...
              repmat('#', 1, filled), repmat('.', 1, width - filled), 100 * frac, ...
              j - 1, bar.last - 1, rate, t, time_left(left, j >= bar.last));
end

function s = time_left(seconds, done)
  if done
    s = 'done';
  elseif seconds < 60
    s = sprintf('%.0f s left', seconds);
  elseif seconds < 3600
    s = sprintf('%d min %02d s left', floor(seconds / 60), round(mod(seconds, 60)));
  else
    s = sprintf('%d h %02d min left', floor(seconds / 3600), round(mod(seconds, 3600) / 60));
  end
end

% Octave's standard output is a terminal: a child shell that inherits it
% (the output is not captured) can tell.
function yes = on_terminal()
  persistent answer
  if isempty(answer), answer = system('test -t 1', false) == 0; end
  yes = answer;
end
