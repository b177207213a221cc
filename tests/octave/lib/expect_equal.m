function expect_equal(actual, expected, label)
% Same class, size and values (isequal, NaNs equal).
  ok = isequaln(actual, expected) && strcmp(class(actual), class(expected));
  if ~ok
    label = sprintf('%s\n    got %s\n    expected %s', label, ...
                    short_text(actual), short_text(expected));
  end
  record_result(ok, label);
end

function t = short_text(x)
  t = strtrim(disp(x));
  t = regexprep(t, '\s+', ' ');
  if numel(t) > 200, t = [t(1:200) '...']; end
  t = sprintf('%s %s', class(x), t);
end
